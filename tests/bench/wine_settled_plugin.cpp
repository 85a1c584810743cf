#include "tests/bench/wine_settled_plugin.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "monitor/monitor_state.h"
#include "tests/windows/device_messages.h"
#include "tests/windows/dll_host.h"

bool load_and_settle() {
  std::string error;
  int32_t loaded = 0;
  if (!winmm_double_ready(&error) ||
      !host_load_plugin(path_beside_program(L"kestrune.dll").c_str(), &loaded, &error)) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return false;
  }
  if (loaded != 1 || plugin_window() == nullptr) {
    std::fprintf(stderr, "bench: kestrune.dll refused the host record\n");
    return false;
  }
  winmm_double_set_counts(1, 1);
  host_call_ticks(INIT_DELAY_TICKS);
  return true;
}
