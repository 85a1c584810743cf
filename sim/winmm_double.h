// The controls of the winmm test double, which Wine loads as winmm.dll in place of its own when a
// process runs with WINEDLLOVERRIDES=winmm=n. Programs look them up in the loaded winmm.dll with
// GetProcAddress, so that finding them also proves the double is the winmm in use.
#pragma once

#include <windows.h>

using WinmmDoubleSetCountsFn = void (*)(UINT inputs, UINT outputs);
using WinmmDoubleCallsFn = LONG (*)();

constexpr char WINMM_DOUBLE_SET_COUNTS[] = "winmm_double_set_midi_counts";
constexpr char WINMM_DOUBLE_IN_CALLS[] = "winmm_double_midi_in_calls";
constexpr char WINMM_DOUBLE_OUT_CALLS[] = "winmm_double_midi_out_calls";

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
