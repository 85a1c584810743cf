// The work whose instructions scripts/bench.sh counts under callgrind:
//   kestrune_bench_idle tick N   loads the plug-in, lets it settle, then runs N idle ticks;
//   kestrune_bench_idle peek N   makes N bare PeekMessageA(PM_REMOVE) calls on an empty
//                                message-only window of its own.
// Callgrind counts only inside on_timer_tick or PeekMessageA (--toggle-collect), and the script
// subtracts a run with another N, which removes the settling ticks and every first-call cost.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "monitor/monitor_state.h"
#include "tests/bench/bench_host.h"

namespace {

int run_idle_ticks(long count) {
  if (!bench_load_plugin(1, 1)) {
    return 1;
  }
  bench_ticks(INIT_DELAY_TICKS);
  if (monitor_state.init_ticks_left != 0 || monitor_state.last_in_count != 1) {
    std::fprintf(stderr, "bench: the plug-in did not settle\n");
    return 1;
  }
  bench_ticks(count);
  // Idle means nothing was pending and nothing was asked of the host.
  if (monitor_state.check_pending || monitor_state.reset_pending || bench_reset_commands() != 0) {
    std::fprintf(stderr, "bench: the ticks were not idle\n");
    return 1;
  }
  bench_unload_plugin();
  return 0;
}

LRESULT CALLBACK empty_window_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
  return DefWindowProcW(window, message, first, second);
}

int run_bare_peeks(long count) {
  sim_reset();
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = empty_window_proc;
  window_class.hInstance = sim_host_module();
  window_class.lpszClassName = L"KestruneBenchWindow";
  if (RegisterClassW(&window_class) == 0) {
    std::fprintf(stderr, "bench: RegisterClassW failed\n");
    return 1;
  }
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "bench: CreateWindowExW failed\n");
    return 1;
  }
  long found = 0;
  for (long i = 0; i < count; ++i) {
    MSG message;
    found += PeekMessageA(&message, window, 0, 0, PM_REMOVE);
  }
  DestroyWindow(window);
  UnregisterClassW(window_class.lpszClassName, window_class.hInstance);
  if (found != 0) {
    std::fprintf(stderr, "bench: the window was not empty\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  long count = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
  if (count <= 0) {
    std::fprintf(stderr, "usage: kestrune_bench_idle tick|peek COUNT\n");
    return 2;
  }
  if (std::strcmp(argv[1], "tick") == 0) {
    return run_idle_ticks(count);
  }
  if (std::strcmp(argv[1], "peek") == 0) {
    return run_bare_peeks(count);
  }
  std::fprintf(stderr, "usage: kestrune_bench_idle tick|peek COUNT\n");
  return 2;
}
