#include "sim/notice_headers.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <iterator>
#include <random>

namespace {

constexpr uint32_t STORM_SEED = 20240605;
constexpr uint32_t INTERFACE_TYPE = DBT_DEVTYP_DEVICEINTERFACE;
// OEM, volume, port and handle notices, and a type that no notice has: other data where an
// interface keeps its class.
const uint32_t OTHER_TYPES[] = {0, 2, 3, 6, 0xFFFFFFFF};

uint32_t field(const unsigned char* bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, bytes + at, sizeof value);
  return value;
}

// Raw engine output only: the standard distributions may differ between libraries, and the two
// processes must draw the same storm.
std::mt19937 random_bits;

unsigned char random_byte() {
  return static_cast<unsigned char>(random_bits() & 0xFF);
}

uint32_t random_in(uint32_t low, uint32_t high) {
  return low + random_bits() % (high - low + 1);
}

const GUID* random_acted_on() {
  return &device_class_guid(static_cast<DeviceClass>(random_in(0, ACTED_ON_CLASS_COUNT - 1)));
}

// Room for every field the plug-in might look at, whatever the header claims.
HostileMessage storm_message(WPARAM event, uint32_t claimed, const uint32_t* type,
                             const GUID* acted_on) {
  return HostileMessage{event, made_up_header(LARGEST_HEADER, claimed, type, acted_on, random_byte),
                        false};
}

}  // namespace

Announced class_announced(DeviceClass device_class) {
  const Announced by_class[DEVICE_CLASS_COUNT] = {Announced::AUDIO_CLASS, Announced::AUDIO_CLASS,
                                                  Announced::AUDIO_CLASS, Announced::PORT_CLASS,
                                                  Announced::PORT_CLASS,  Announced::OTHER_CLASS};
  return by_class[device_class];
}

Announced header_announces(const unsigned char* bytes, size_t size) {
  if (bytes == nullptr || size < NOTICE_NAME_OFFSET ||
      field(bytes, NOTICE_TYPE_OFFSET) != DBT_DEVTYP_DEVICEINTERFACE) {
    return Announced::NOTHING_READABLE;
  }
  for (int i = 0; i < DEVICE_CLASS_COUNT; ++i) {
    DeviceClass device_class = static_cast<DeviceClass>(i);
    if (std::memcmp(bytes + NOTICE_CLASS_OFFSET, &device_class_guid(device_class), sizeof(GUID)) ==
        0) {
      return class_announced(device_class);
    }
  }
  return Announced::OTHER_CLASS;
}

bool is_acted_on(const unsigned char* bytes, size_t size) {
  Announced announced = header_announces(bytes, size);
  return announced == Announced::AUDIO_CLASS || announced == Announced::PORT_CLASS;
}

std::vector<unsigned char> made_up_header(size_t buffer_size, uint32_t claimed,
                                          const uint32_t* type, const GUID* acted_on,
                                          unsigned char (*next_byte)()) {
  std::vector<unsigned char> buffer(buffer_size);
  for (unsigned char& byte : buffer) {
    byte = next_byte();
  }
  auto put = [&buffer](size_t at, const void* value, size_t size) {
    if (at < buffer.size()) {
      std::memcpy(buffer.data() + at, value, std::min(size, buffer.size() - at));
    }
  };
  put(NOTICE_SIZE_OFFSET, &claimed, sizeof claimed);
  if (type != nullptr && buffer_size >= NOTICE_TYPE_OFFSET + sizeof *type) {
    put(NOTICE_TYPE_OFFSET, type, sizeof *type);
  }
  if (acted_on != nullptr) {
    put(NOTICE_CLASS_OFFSET, acted_on, sizeof(GUID));
  }
  return buffer;
}

uint32_t claimed_size(const HostileMessage& message) {
  return field(message.buffer.data(), NOTICE_SIZE_OFFSET);
}

// Each size four ways: a class acted on under another device type, which only the type tells
// from a class; an interface of a class acted on whose size lies, or, where the size covers the
// class, with one bit of it wrong; an interface of a random class; and random bytes.
std::vector<HostileMessage> hostile_storm() {
  random_bits.seed(STORM_SEED);
  std::vector<HostileMessage> storm;
  for (WPARAM event : {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}) {
    storm.push_back(HostileMessage{event, std::vector<unsigned char>(LARGEST_HEADER), true});
    for (uint32_t size = 0; size <= LARGEST_HEADER; ++size) {
      // Drawn one at a time: the order of a call's arguments is the compiler's.
      uint32_t other_type = OTHER_TYPES[random_in(0, std::size(OTHER_TYPES) - 1)];
      uint32_t other_size = random_in(NOTICE_NAME_OFFSET, LARGEST_HEADER);
      const GUID* hidden = random_acted_on();
      storm.push_back(storm_message(event, other_size, &other_type, hidden));
      const GUID* spoilt = random_acted_on();
      HostileMessage almost = storm_message(event, size, &INTERFACE_TYPE, spoilt);
      if (size >= NOTICE_NAME_OFFSET) {
        uint32_t bit = random_in(0, 8 * sizeof(GUID) - 1);
        almost.buffer[NOTICE_CLASS_OFFSET + bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
      }
      storm.push_back(almost);
      storm.push_back(storm_message(event, size, &INTERFACE_TYPE, nullptr));
      storm.push_back(storm_message(event, size, nullptr, nullptr));
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
  const auto* wanted = reinterpret_cast<const unsigned char*>(
      &device_class_guid(static_cast<DeviceClass>(acted_on_class)));
  int bits = 0;
  for (size_t i = 0; i < sizeof(GUID); ++i) {
    bits += static_cast<int>(std::bitset<8>(header[NOTICE_CLASS_OFFSET + i] ^ wanted[i]).count());
  }
  return bits;
}
