// A module that the check of the DLL's tables must refuse: the plug-in linked with a function of
// the simulated platform's, kept alive by the module's entry point as a stray call would keep it.
#include <windows.h>

void sim_reset() {
  OutputDebugStringA("simulated platform reset\n");
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    sim_reset();
  }
  return TRUE;
}
