#include "tests/bench/wine_settled_plugin.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/windows/dll_host.h"

bool load_and_settle() {
  std::string error;
  if (!winmm_double_ready(&error) || !host_load_fresh(PLAIN_DLL, &error)) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return false;
  }
  host_settle();
  return true;
}
