// Device-change headers as the tests make them up and judge them: one oracle of what a header
// announces, written from the rules rather than taken from the plug-in's own check, which it
// tests; and one storm of headers that no device sends but any process may.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win32.h"
#include "sim/device_events.h"

// What a header announces, as far as the rules care.
enum class Announced { NOTHING_READABLE, AUDIO_CLASS, PORT_CLASS, OTHER_CLASS };

Announced class_announced(DeviceClass device_class);
// The bytes as they reach the receiver: an interface header has room for its class and says so.
Announced header_announces(const unsigned char* bytes, size_t size);
// A class the plug-in acts on: the audio classes and the MIDI port classes.
bool is_acted_on(const unsigned char* bytes, size_t size);

// `buffer_size` bytes from `next_byte` that claim `claimed` as their dbch_size; with `type`, that
// device type where it fits, and with `acted_on`, that class where an interface keeps it, as far as
// the buffer reaches.
std::vector<unsigned char> made_up_header(size_t buffer_size, uint32_t claimed,
                                          const uint32_t* type, const GUID* acted_on,
                                          unsigned char (*next_byte)());

// The longest header the storm holds.
constexpr uint32_t LARGEST_HEADER = 64;

struct HostileMessage {
  WPARAM event;
  // The sender's own bytes. The first four hold dbch_size, and Wine copies that many into the
  // receiving process (Windows documents nothing of it): a header may claim less than the sender
  // holds, never more.
  std::vector<unsigned char> buffer;
  // Sent as a null second parameter instead of the buffer.
  bool null_header;
};

// The dbch_size a message claims, which is what reaches the receiver.
uint32_t claimed_size(const HostileMessage& message);

// Arrivals and removals with headers of every size from 0 to 64 bytes and random content, from a
// fixed seed, so that the sender process and the test that checks what arrived draw the same. None
// is a valid interface of a class acted on; each of those classes is among them spoilt by one bit.
std::vector<HostileMessage> hostile_storm();

// The classes acted on are the vocabulary's first five.
constexpr int ACTED_ON_CLASS_COUNT = 5;
// How many bits of the class field of `header` differ from the class acted on of that index.
int differing_class_bits(const unsigned char* header, int acted_on_class);
