// A winmm.dll for machines without MIDI hardware: the two device counts are whatever a test sets,
// and every call is counted. <mmsystem.h> is kept out on purpose: it declares these functions as
// imported, which a definition here would contradict.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <type_traits>

#include "tests/windows/winmm_double.h"

namespace {

// The plug-in reads the counts on the host's thread while a test may set them from another.
std::atomic<UINT> midi_inputs{0};
std::atomic<UINT> midi_outputs{0};
std::atomic<LONG> midi_in_calls{0};
std::atomic<LONG> midi_out_calls{0};

}  // namespace

extern "C" {

__declspec(dllexport) UINT WINAPI midiInGetNumDevs() {
  ++midi_in_calls;
  return midi_inputs;
}

__declspec(dllexport) UINT WINAPI midiOutGetNumDevs() {
  ++midi_out_calls;
  return midi_outputs;
}

__declspec(dllexport) void winmm_double_set_midi_counts(UINT inputs, UINT outputs) {
  midi_inputs = inputs;
  midi_outputs = outputs;
}

__declspec(dllexport) LONG winmm_double_midi_in_calls() {
  return midi_in_calls;
}

__declspec(dllexport) LONG winmm_double_midi_out_calls() {
  return midi_out_calls;
}

}  // extern "C"

// The programs call these through the pointer types of the header; a signature changed here alone
// would go unnoticed by the compiler there.
static_assert(std::is_same<decltype(&winmm_double_set_midi_counts), WinmmDoubleSetCountsFn>::value,
              "control signature");
static_assert(std::is_same<decltype(&winmm_double_midi_in_calls), WinmmDoubleCallsFn>::value,
              "control signature");
static_assert(std::is_same<decltype(&winmm_double_midi_out_calls), WinmmDoubleCallsFn>::value,
              "control signature");
