// The one place Win32 declarations come from. On Windows these are the real headers; elsewhere
// the simulated subset declares the same names with the same types, so the plug-in's sources
// compile unchanged in both worlds and never know which one they are in.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h must come first: these two rely on its types.
#include <dbt.h>
#include <mmsystem.h>
#else
#include "platform/simulated/win32_subset.h"
#endif
