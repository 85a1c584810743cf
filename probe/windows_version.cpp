#include "probe/windows_version.h"

#include <windows.h>

#include <cstdio>

namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

}  // namespace

// GetVersionEx answers 6.2 to any program without a manifest that claims newer systems, so the
// version comes from ntdll, which does not pretend. Looked up at run time: ntdll is in every
// process, and an import of it would be one more line in the import table to explain.
void windows_version(char* out, int out_size) {
  (void)std::snprintf(out, static_cast<size_t>(out_size), "unknown");
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) {
    return;
  }
  auto rtl_get_version = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (rtl_get_version == nullptr || rtl_get_version(&info) != 0) {
    return;
  }
  (void)std::snprintf(out, static_cast<size_t>(out_size), "%lu.%lu.%lu", info.dwMajorVersion,
                      info.dwMinorVersion, info.dwBuildNumber);
}
