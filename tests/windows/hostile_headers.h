// WM_DEVICECHANGE arrivals and removals that no device sends but any process may: headers of
// every size from 0 to 64 bytes with random content, drawn from a fixed seed so that the sender
// process and the test that checks what arrived draw the same ones. None of them is a valid
// device interface of a class the plug-in acts on, and each of those classes is among them spoilt
// by one bit.
#pragma once

#include <windows.h>

#include <vector>

// The longest header a storm holds.
constexpr DWORD LARGEST_HEADER = 64;

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
DWORD claimed_size(const HostileMessage& message);

std::vector<HostileMessage> hostile_storm();

// The classes the plug-in acts on (monitor/interface_class.h): the three audio classes and the two
// MIDI port classes.
constexpr int ACTED_ON_CLASS_COUNT = 5;
// How many bits of the class field of `header` differ from the class acted on of that index.
int differing_class_bits(const unsigned char* header, int acted_on_class);
// A header of this content would be acted on: at least the interface fields, an interface type
// and one of the classes the plug-in acts on.
bool is_acted_on(const unsigned char* header, DWORD size);
