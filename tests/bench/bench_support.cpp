#include "tests/bench/bench_support.h"

#include <cstdarg>
#include <cstdio>

#ifndef _WIN32
#include "platform/simulated/sim_control.h"
#endif

namespace {

constexpr wchar_t BENCH_WINDOW_CLASS[] = L"KestruneBenchWindow";

HINSTANCE program_instance() {
#ifdef _WIN32
  return GetModuleHandleW(nullptr);
#else
  return sim_host_module();
#endif
}

}  // namespace

bool bench_open_world() {
  char error[256];
  if (!world_open(nullptr, error, sizeof error)) {
    std::fprintf(stderr, "bench: %s\n", error);
    return false;
  }
  return true;
}

bool bench_load_settled() {
  if (!bench_open_world()) {
    return false;
  }
  host_reset();
  if (host_call_entry(world_entry(), true) != 1) {
    std::fprintf(stderr, "bench: the plug-in refused the host record\n");
    return false;
  }
  host_settle();
  return true;
}

void bench_unload_plugin() {
  host_call_entry(world_entry(), false);
  world_close();
}

void bench_row(const char* figure, const char* how, const char* value_format, ...) {
  char value[128];
  va_list arguments;
  va_start(arguments, value_format);
  std::vsnprintf(value, sizeof value, value_format, arguments);
  va_end(arguments);
  std::printf("%s\t%s\t%s\n", figure, value, how);
  // The script reads the rows through a pipe; a program that fails later keeps what it printed.
  std::fflush(stdout);
}

HWND bench_empty_window() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = program_instance();
  window_class.lpszClassName = BENCH_WINDOW_CLASS;
  HWND window = RegisterClassW(&window_class) == 0
                    ? nullptr
                    : CreateWindowExW(0, BENCH_WINDOW_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "bench: no empty window (error %lu)\n",
                 static_cast<unsigned long>(GetLastError()));
  }
  return window;
}

void bench_destroy_empty_window(HWND window) {
  DestroyWindow(window);
  UnregisterClassW(BENCH_WINDOW_CLASS, program_instance());
}
