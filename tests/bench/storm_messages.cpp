#include "tests/bench/storm_messages.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "monitor/interface_class.h"
#include "sim/device_events.h"

namespace {

// The audio classes a MIDI device announces itself under, and two that it never does.
const GUID* const STORM_AUDIO_CLASSES[] = {&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER,
                                           &KSCATEGORY_CAPTURE};
const GUID HID_INTERFACE = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
const GUID* const STORM_OTHER_CLASSES[] = {&HID_INTERFACE, &USB_DEVICE_INTERFACE};

constexpr WPARAM ARRIVAL = 0x8000;
constexpr WPARAM REMOVE_COMPLETE = 0x8004;
// Configuration changes, query-remove, remove-pending and custom events: none carries an
// interface the plug-in acts on.
constexpr WPARAM OTHER_EVENTS[] = {0x0007, 0x0017, 0x0018, 0x8001, 0x8003, 0x8006};

constexpr uint32_t INTERFACE_TYPE = 5;
constexpr uint32_t VOLUME_TYPE = 2;

uint32_t next_random(uint32_t* state) {
  // xorshift32: enough spread for picking kinds, and the same on every compiler.
  uint32_t x = *state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  *state = x;
  return x;
}

void put_u32(std::vector<unsigned char>* bytes, size_t offset, uint32_t value) {
  if (offset + sizeof value <= bytes->size()) {
    std::memcpy(bytes->data() + offset, &value, sizeof value);
  }
}

// A header as the system sends it, with a symbolic-link name after the class.
std::vector<unsigned char> interface_header(const GUID& interface_class, uint32_t serial) {
  char name[48];
  std::snprintf(name, sizeof name, "\\\\?\\USB#VID_0000&PID_%04X#MIDI",
                static_cast<unsigned>(serial & 0xFFFF));
  DeviceNotice notice = interface_notice(interface_class, name);
  return std::vector<unsigned char>(notice.bytes, notice.bytes + notice.size);
}

// An interface header cut short of its class: its size says what is really there.
std::vector<unsigned char> short_header(uint32_t random) {
  const size_t sizes[] = {4, 8, 12, 20, NOTICE_NAME_OFFSET - 1};
  std::vector<unsigned char> bytes(sizes[random % 5], 0xA5);
  put_u32(&bytes, NOTICE_SIZE_OFFSET, static_cast<uint32_t>(bytes.size()));
  put_u32(&bytes, NOTICE_TYPE_OFFSET, INTERFACE_TYPE);
  return bytes;
}

std::vector<unsigned char> volume_header() {
  std::vector<unsigned char> bytes(20, 0);
  put_u32(&bytes, NOTICE_SIZE_OFFSET, 20);
  put_u32(&bytes, NOTICE_TYPE_OFFSET, VOLUME_TYPE);
  put_u32(&bytes, 12, 1u << 4);  // drive E:
  return bytes;
}

WPARAM arrival_or_removal(uint32_t random) {
  return (random & 1) != 0 ? ARRIVAL : REMOVE_COMPLETE;
}

}  // namespace

std::vector<StormMessage> make_storm(int count, uint32_t seed) {
  uint32_t state = seed != 0 ? seed : 1;
  std::vector<StormMessage> storm;
  storm.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    uint32_t random = next_random(&state);
    uint32_t detail = next_random(&state);
    StormMessage message{arrival_or_removal(detail), {}};
    switch (random % 8) {
      case 0:
      case 1:
      case 2:
        message.header = interface_header(*STORM_AUDIO_CLASSES[detail % 3], detail >> 8);
        break;
      case 3:
        message.header = interface_header(*STORM_OTHER_CLASSES[detail % 2], detail >> 8);
        break;
      case 4:
        message.event = OTHER_EVENTS[detail % 6];
        break;
      case 5:
        message.header = short_header(detail >> 1);
        break;
      case 6:
        message.header = volume_header();
        break;
      default:
        break;  // an arrival or removal with no header at all
    }
    storm.push_back(std::move(message));
  }
  return storm;
}
