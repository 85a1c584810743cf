#include "tests/windows/hostile_headers.h"

// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>

#include "sim/device_notice.h"
#include "tests/windows/device_messages.h"

namespace {

constexpr uint32_t STORM_SEED = 20240605;
constexpr DWORD LARGEST_HEADER = 64;
constexpr DWORD TYPE_OFFSET = offsetof(DEV_BROADCAST_HDR, dbch_devicetype);
constexpr DWORD CLASS_OFFSET = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid);
constexpr DWORD INTERFACE_FIELDS_SIZE = CLASS_OFFSET + sizeof(GUID);

// Every class the plug-in acts on: the audio classes and the MIDI port classes. A class left out
// would have its spoilt forms go untried.
const GUID* const ACTED_ON_CLASSES[ACTED_ON_CLASS_COUNT] = {
    &KSCATEGORY_AUDIO, &KSCATEGORY_RENDER, &KSCATEGORY_CAPTURE, &MIDI_INPUT_PORT_INTERFACE,
    &MIDI_OUTPUT_PORT_INTERFACE};

// Types of other notifications, whose headers hold other data where an interface keeps its class.
const DWORD OTHER_TYPES[] = {DBT_DEVTYP_OEM, DBT_DEVTYP_VOLUME, DBT_DEVTYP_PORT, DBT_DEVTYP_HANDLE,
                             0xFFFFFFFF};

// Raw engine output only: the standard distributions may differ between libraries, and the two
// processes must draw the same storm.
std::mt19937 random_bits;

unsigned char random_byte() {
  return static_cast<unsigned char>(random_bits() & 0xFF);
}

DWORD random_in(DWORD low, DWORD high) {
  return low + random_bits() % (high - low + 1);
}

// Room for every field the plug-in might look at, whatever the header claims.
std::vector<unsigned char> random_buffer(DWORD size) {
  std::vector<unsigned char> buffer(size < LARGEST_HEADER ? LARGEST_HEADER : size);
  for (unsigned char& byte : buffer) {
    byte = random_byte();
  }
  return buffer;
}

void put_dword(std::vector<unsigned char>* buffer, DWORD offset, DWORD value) {
  std::memcpy(buffer->data() + offset, &value, sizeof value);
}

void put_class(std::vector<unsigned char>* buffer, const GUID& interface_class) {
  std::memcpy(buffer->data() + CLASS_OFFSET, &interface_class, sizeof interface_class);
}

HostileMessage message_of(WPARAM event, DWORD size, std::vector<unsigned char> buffer) {
  put_dword(&buffer, 0, size);
  return HostileMessage{event, buffer, false};
}

// A class acted on where an interface keeps it, under another device type: only the type says
// that these bytes are no class at all.
HostileMessage class_under_another_type(WPARAM event) {
  std::vector<unsigned char> buffer = random_buffer(LARGEST_HEADER);
  put_dword(&buffer, TYPE_OFFSET, OTHER_TYPES[random_in(0, std::size(OTHER_TYPES) - 1)]);
  put_class(&buffer, *ACTED_ON_CLASSES[random_in(0, ACTED_ON_CLASS_COUNT - 1)]);
  return message_of(event, random_in(INTERFACE_FIELDS_SIZE, LARGEST_HEADER), buffer);
}

// Where the size would not cover the class, the sender holds a complete interface of a class acted
// on whose size lies; where it would, one bit of the class is wrong.
HostileMessage almost_an_interface_acted_on(WPARAM event, DWORD size) {
  std::vector<unsigned char> buffer = random_buffer(size);
  put_dword(&buffer, TYPE_OFFSET, DBT_DEVTYP_DEVICEINTERFACE);
  put_class(&buffer, *ACTED_ON_CLASSES[random_in(0, ACTED_ON_CLASS_COUNT - 1)]);
  if (size >= INTERFACE_FIELDS_SIZE) {
    DWORD bit = random_in(0, 8 * sizeof(GUID) - 1);
    buffer[CLASS_OFFSET + bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
  }
  return message_of(event, size, buffer);
}

HostileMessage interface_of_random_class(WPARAM event, DWORD size) {
  std::vector<unsigned char> buffer = random_buffer(size);
  put_dword(&buffer, TYPE_OFFSET, DBT_DEVTYP_DEVICEINTERFACE);
  return message_of(event, size, buffer);
}

HostileMessage random_header(WPARAM event, DWORD size) {
  return message_of(event, size, random_buffer(size));
}

}  // namespace

DWORD claimed_size(const HostileMessage& message) {
  DWORD size;
  std::memcpy(&size, message.buffer.data(), sizeof size);
  return size;
}

bool must_be_delivered(const HostileMessage& message) {
  return !message.null_header && claimed_size(message) >= sizeof(DEV_BROADCAST_HDR);
}

std::vector<HostileMessage> hostile_storm() {
  random_bits.seed(STORM_SEED);
  std::vector<HostileMessage> storm;
  for (WPARAM event : {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}) {
    storm.push_back(HostileMessage{event, random_buffer(LARGEST_HEADER), true});
    for (DWORD size = 0; size <= LARGEST_HEADER; ++size) {
      storm.push_back(class_under_another_type(event));
      storm.push_back(almost_an_interface_acted_on(event, size));
      storm.push_back(interface_of_random_class(event, size));
      storm.push_back(random_header(event, size));
    }
  }
  // A random class that happened to be one acted on would make a valid header: it is spoilt.
  for (HostileMessage& message : storm) {
    if (!message.null_header && is_acted_on(message.buffer.data(), claimed_size(message))) {
      message.buffer[CLASS_OFFSET] ^= 1;
    }
  }
  return storm;
}

int differing_class_bits(const unsigned char* header, int acted_on_class) {
  const unsigned char* wanted =
      reinterpret_cast<const unsigned char*>(ACTED_ON_CLASSES[acted_on_class]);
  int bits = 0;
  for (size_t i = 0; i < sizeof(GUID); ++i) {
    for (unsigned char differing = header[CLASS_OFFSET + i] ^ wanted[i]; differing != 0;
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
  std::memcpy(&type, header + TYPE_OFFSET, sizeof type);
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

bool send_hostile_storm(HWND window) {
  for (const HostileMessage& message : hostile_storm()) {
    LPARAM header = message.null_header ? 0 : reinterpret_cast<LPARAM>(message.buffer.data());
    DWORD_PTR result = 0;
    // The timeout only keeps a receiver that stopped retrieving messages from holding this
    // process for good.
    if (SendMessageTimeoutW(window, WM_DEVICECHANGE, message.event, header, SMTO_BLOCK, 30000,
                            &result) == 0 &&
        must_be_delivered(message)) {
      return false;
    }
  }
  return true;
}
