// The module's one export: the host loads the plug-in with its record and unloads it with null.
#pragma once

#include <cstdint>

#include "host/host_api.h"

#ifdef _WIN32
#define KESTRUNE_EXPORT __declspec(dllexport)
#else
#define KESTRUNE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KESTRUNE_EXPORT int32_t VelmarPluginEntry(void* instance, HostPluginInfo* info);
