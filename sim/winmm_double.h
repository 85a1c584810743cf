// The controls of the winmm test double, which Wine loads in place of its own with
// WINEDLLOVERRIDES=winmm=n. Found by name (sim/plugin_module.h), they prove the double is in use.
#pragma once

#include <windows.h>

using WinmmDoubleSetCountsFn = void (*)(UINT inputs, UINT outputs);
using WinmmDoubleCallsFn = LONG (*)();

// Each control's exported name with its pointer type, written once: the double checks its
// definitions against them, and the programs' lookups are generated from them.
#define WINMM_DOUBLE_CONTROLS(X)                          \
  X(winmm_double_set_midi_counts, WinmmDoubleSetCountsFn) \
  X(winmm_double_midi_in_calls, WinmmDoubleCallsFn)       \
  X(winmm_double_midi_out_calls, WinmmDoubleCallsFn)

// Names a file mapping that holds the counts in place of the process's own, so that a test in
// another process can change them while a program runs. Read once, when the double is loaded.
constexpr wchar_t WINMM_DOUBLE_SHARED_COUNTS_VARIABLE[] = L"KESTRUNE_WINMM_DOUBLE_COUNTS";

struct WinmmDoubleSharedCounts {
  LONG inputs;
  LONG outputs;
  // The first input port's name when not empty, in place of "Test MIDI In 1": a name beyond
  // ASCII, as real devices have. Set before the program starts; at most 31 characters.
  wchar_t first_input_name[32];
};
