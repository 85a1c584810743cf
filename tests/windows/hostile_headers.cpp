#include "tests/windows/hostile_headers.h"

// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>

#include "monitor/interface_class.h"
#include "sim/device_notice.h"

namespace {

constexpr uint32_t STORM_SEED = 20240605;
// The class's end, where a symbolic link's name would begin.
constexpr DWORD INTERFACE_FIELDS_SIZE = NOTICE_NAME_OFFSET;

// Every class the plug-in acts on: the audio classes and the MIDI port classes. A class left out
// would have its spoilt forms go untried.
const GUID* const ACTED_ON_CLASSES[ACTED_ON_CLASS_COUNT] = {
    &KSCATEGORY_AUDIO, &KSCATEGORY_RENDER, &KSCATEGORY_CAPTURE, &MIDI_INPUT_PORT_INTERFACE,
    &MIDI_OUTPUT_PORT_INTERFACE};

// Types of other notifications, whose headers hold other data where an interface keeps its class.
const DWORD OTHER_TYPES[] = {DBT_DEVTYP_OEM, DBT_DEVTYP_VOLUME, DBT_DEVTYP_PORT, DBT_DEVTYP_HANDLE,
                             0xFFFFFFFF};

constexpr DWORD INTERFACE_TYPE = DBT_DEVTYP_DEVICEINTERFACE;

// Raw engine output only: the standard distributions may differ between libraries, and the two
// processes must draw the same storm.
std::mt19937 random_bits;

DWORD random_in(DWORD low, DWORD high) {
  return low + random_bits() % (high - low + 1);
}

// Room for every field the plug-in might look at, whatever the header claims: random bytes with
// the claimed size first and, unless it is null, the device type given.
std::vector<unsigned char> random_header(DWORD size, const DWORD* type) {
  std::vector<unsigned char> buffer(LARGEST_HEADER);
  for (unsigned char& byte : buffer) {
    byte = static_cast<unsigned char>(random_bits() & 0xFF);
  }
  std::memcpy(buffer.data() + NOTICE_SIZE_OFFSET, &size, sizeof size);
  if (type != nullptr) {
    std::memcpy(buffer.data() + NOTICE_TYPE_OFFSET, type, sizeof *type);
  }
  return buffer;
}

void put_class_acted_on(std::vector<unsigned char>* buffer) {
  const GUID* acted_on = ACTED_ON_CLASSES[random_in(0, ACTED_ON_CLASS_COUNT - 1)];
  std::memcpy(buffer->data() + NOTICE_CLASS_OFFSET, acted_on, sizeof(GUID));
}

// A class acted on where an interface keeps it, under another device type: only the type says
// that these bytes are no class at all.
HostileMessage class_under_another_type(WPARAM event) {
  DWORD type = OTHER_TYPES[random_in(0, std::size(OTHER_TYPES) - 1)];
  HostileMessage message{
      event, random_header(random_in(INTERFACE_FIELDS_SIZE, LARGEST_HEADER), &type), false};
  put_class_acted_on(&message.buffer);
  return message;
}

// Where the size would not cover the class, the sender holds a complete interface of a class acted
// on whose size lies; where it would, one bit of the class is wrong.
HostileMessage almost_an_interface_acted_on(WPARAM event, DWORD size) {
  HostileMessage message{event, random_header(size, &INTERFACE_TYPE), false};
  put_class_acted_on(&message.buffer);
  if (size >= INTERFACE_FIELDS_SIZE) {
    DWORD bit = random_in(0, 8 * sizeof(GUID) - 1);
    message.buffer[NOTICE_CLASS_OFFSET + bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
  }
  return message;
}

}  // namespace

DWORD claimed_size(const HostileMessage& message) {
  DWORD size;
  std::memcpy(&size, message.buffer.data(), sizeof size);
  return size;
}

std::vector<HostileMessage> hostile_storm() {
  random_bits.seed(STORM_SEED);
  std::vector<HostileMessage> storm;
  for (WPARAM event : {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}) {
    storm.push_back(HostileMessage{event, random_header(0, nullptr), true});
    for (DWORD size = 0; size <= LARGEST_HEADER; ++size) {
      storm.push_back(class_under_another_type(event));
      storm.push_back(almost_an_interface_acted_on(event, size));
      storm.push_back(HostileMessage{event, random_header(size, &INTERFACE_TYPE), false});
      storm.push_back(HostileMessage{event, random_header(size, nullptr), false});
    }
  }
  // A random class that happened to be one acted on would make a valid header: it is spoilt.
  for (HostileMessage& message : storm) {
    if (!message.null_header && is_acted_on(message.buffer.data(), claimed_size(message))) {
      message.buffer[NOTICE_CLASS_OFFSET] ^= 1;
    }
  }
  return storm;
}

int differing_class_bits(const unsigned char* header, int acted_on_class) {
  const unsigned char* wanted =
      reinterpret_cast<const unsigned char*>(ACTED_ON_CLASSES[acted_on_class]);
  int bits = 0;
  for (size_t i = 0; i < sizeof(GUID); ++i) {
    for (unsigned char differing = header[NOTICE_CLASS_OFFSET + i] ^ wanted[i]; differing != 0;
         differing &= static_cast<unsigned char>(differing - 1)) {
      ++bits;
    }
  }
  return bits;
}

bool is_acted_on(const unsigned char* header, DWORD size) {
  if (header == nullptr || size < INTERFACE_FIELDS_SIZE) {
    return false;
  }
  DWORD type;
  std::memcpy(&type, header + NOTICE_TYPE_OFFSET, sizeof type);
  if (type != DBT_DEVTYP_DEVICEINTERFACE) {
    return false;
  }
  for (int acted_on_class = 0; acted_on_class < ACTED_ON_CLASS_COUNT; ++acted_on_class) {
    if (differing_class_bits(header, acted_on_class) == 0) {
      return true;
    }
  }
  return false;
}
