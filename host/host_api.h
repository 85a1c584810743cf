// What the plug-in needs from the host application, and what the host hands it at load.
#pragma once

#include <cstddef>
#include <cstdint>

// The only host interface revision whose record layout the plug-in understands.
constexpr int32_t HOST_API_VERSION = 0x20E;

using HostRegisterCallbackFn = int (*)(const char* name, void* value);
using HostGetFunctionFn = void* (*)(const char* name);

// The record the host passes to the entry point at load. Only the version and the two
// functions are read; the bytes between them belong to the host.
struct HostPluginInfo {
  int32_t api_version;
  unsigned char host_private[12];
  HostRegisterCallbackFn register_callback;
  HostGetFunctionFn get_function;
};

// The host reads these offsets in its own 64-bit layout; a different compiler or packing must
// not move them.
static_assert(offsetof(HostPluginInfo, api_version) == 0, "host record layout");
static_assert(offsetof(HostPluginInfo, register_callback) == 16, "host record layout");
static_assert(offsetof(HostPluginInfo, get_function) == 24, "host record layout");
static_assert(sizeof(HostPluginInfo) == 32, "host record layout");

// The two host functions the plug-in calls. The other four are imported only because a host
// without them is not one the plug-in was made for; they are never called, so their
// signatures stay the host's business and their slots are untyped.
using MainOnCommandFn = void (*)(int32_t command, int32_t flag);
using ShowConsoleMsgFn = void (*)(const char* text);

enum HostFunctionSlot : int {
  SLOT_GET_MIDI_INPUT_NAME,
  SLOT_GET_MIDI_OUTPUT_NAME,
  SLOT_GET_NUM_MIDI_INPUTS,
  SLOT_GET_NUM_MIDI_OUTPUTS,
  SLOT_MAIN_ON_COMMAND,
  SLOT_SHOW_CONSOLE_MSG,
  HOST_FUNCTION_COUNT
};

struct HostImport {
  const char* name;
  HostFunctionSlot slot;
};

// Requested in this order at every load.
extern const HostImport host_import_table[HOST_FUNCTION_COUNT];
