// A winmm.dll for machines without MIDI hardware: the two device counts are whatever a test sets,
// every call is counted, and port N of either kind is named "Test MIDI In N" or "Test MIDI Out N",
// unless the shared counts name the first input.
// <mmsystem.h> comes with _WINMM_ defined, which makes its declarations of these functions this
// module's own rather than imports, which a definition here would contradict.
#define WIN32_LEAN_AND_MEAN
#define _WINMM_
#include <windows.h>
// mmsystem.h relies on the types of windows.h.
#include <mmsystem.h>

#include <atomic>
#include <cwchar>
#include <type_traits>

#include "sim/winmm_double.h"

namespace {

std::atomic<LONG> midi_in_calls{0};
std::atomic<LONG> midi_out_calls{0};

// A program under test (the probe) reads the counts in its own process while only the test, in
// another, knows when a device "arrived": so when the environment names a mapping, the counts live
// there, for either process to change; otherwise they are this process's alone. Interlocked: the
// plug-in reads them on the host's thread while a test may set them from another.
WinmmDoubleSharedCounts own_counts;
WinmmDoubleSharedCounts* counts = &own_counts;

// The mapping stays open for the life of the process.
void open_shared_counts() {
  wchar_t name[128];
  DWORD length = GetEnvironmentVariableW(WINMM_DOUBLE_SHARED_COUNTS_VARIABLE, name, 128);
  HANDLE mapping = length == 0 || length >= 128
                       ? nullptr
                       : OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
  void* view = mapping == nullptr
                   ? nullptr
                   : MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof *counts);
  if (view != nullptr) {
    counts = static_cast<WinmmDoubleSharedCounts*>(view);
  }
}

UINT count_of(int kind) {
  return static_cast<UINT>(
      InterlockedCompareExchange(kind == 0 ? &counts->inputs : &counts->outputs, 0, 0));
}

// A port's capabilities: all zero but its name, which the test may set for the first input.
template <typename Caps>
MMRESULT port_caps(int kind, UINT_PTR port, Caps* caps, UINT size_given) {
  if (port >= count_of(kind)) {
    return MMSYSERR_BADDEVICEID;
  }
  if (caps == nullptr || size_given < sizeof *caps) {
    return MMSYSERR_INVALPARAM;
  }
  *caps = Caps{};
  wchar_t* name = caps->szPname;
  if (kind == 0 && port == 0 && counts->first_input_name[0] != L'\0') {
    std::wcsncpy(name, counts->first_input_name, MAXPNAMELEN - 1);
    name[MAXPNAMELEN - 1] = L'\0';
    return MMSYSERR_NOERROR;
  }
  std::swprintf(name, MAXPNAMELEN, kind == 0 ? L"Test MIDI In %u" : L"Test MIDI Out %u",
                static_cast<unsigned>(port + 1));
  return MMSYSERR_NOERROR;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    open_shared_counts();
  }
  return TRUE;
}

__declspec(dllexport) UINT WINAPI midiInGetNumDevs() {
  ++midi_in_calls;
  return count_of(0);
}

__declspec(dllexport) UINT WINAPI midiOutGetNumDevs() {
  ++midi_out_calls;
  return count_of(1);
}

__declspec(dllexport) MMRESULT WINAPI
    midiInGetDevCapsW(UINT_PTR port, LPMIDIINCAPSW caps, UINT size) {
  return port_caps(0, port, caps, size);
}

__declspec(dllexport) MMRESULT WINAPI
    midiOutGetDevCapsW(UINT_PTR port, LPMIDIOUTCAPSW caps, UINT size) {
  MMRESULT result = port_caps(1, port, caps, size);
  if (result == MMSYSERR_NOERROR) {
    caps->wTechnology = MOD_MIDIPORT;
    caps->wChannelMask = 0xFFFF;
  }
  return result;
}

__declspec(dllexport) void winmm_double_set_midi_counts(UINT inputs, UINT outputs) {
  InterlockedExchange(&counts->inputs, static_cast<LONG>(inputs));
  InterlockedExchange(&counts->outputs, static_cast<LONG>(outputs));
}

__declspec(dllexport) LONG winmm_double_midi_in_calls() {
  return midi_in_calls;
}

__declspec(dllexport) LONG winmm_double_midi_out_calls() {
  return midi_out_calls;
}

}  // extern "C"

// The programs call these through the pointer types of the header's list; a signature changed
// here alone would go unnoticed by the compiler there.
#define SAME_SIGNATURE(name, type) \
  static_assert(std::is_same<decltype(&name), type>::value, #name " signature");
WINMM_DOUBLE_CONTROLS(SAME_SIGNATURE)
