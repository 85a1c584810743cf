// The idle tick of the real kestrune.dll against the bare message check it wraps, on Wine's
// user32: rounds of K settled, idle ticks and rounds of K PeekMessageA(PM_REMOVE) calls on an
// empty message-only window of this program's own, interleaved so that both see the same load
// on a noisy machine, each timed with QueryPerformanceCounter. The median of the per-round ratios
// is reported. Runs with WINEDLLOVERRIDES=winmm=n and the winmm test double beside it, whose
// call counters show that the idle ticks never query the MIDI device counts.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "monitor/monitor_state.h"
#include "tests/bench/bench_table.h"
#include "tests/bench/wine_settled_plugin.h"
#include "tests/windows/device_messages.h"
#include "tests/windows/dll_host.h"

namespace {

constexpr int CALLS_PER_ROUND = 500;
// 216 rounds of 500 ticks: 108,000 ticks, an hour of a host ticking 30 times a second.
constexpr int ROUNDS = 216;
constexpr double TARGET_RATIO = 1.05;
constexpr wchar_t BENCH_WINDOW_CLASS[] = L"KestruneBenchWindow";

LARGE_INTEGER now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter;
}

LONGLONG time_ticks() {
  LARGE_INTEGER start = now();
  host_call_ticks(CALLS_PER_ROUND);
  return now().QuadPart - start.QuadPart;
}

LONGLONG time_peeks(HWND window) {
  MSG message;
  LARGE_INTEGER start = now();
  for (int i = 0; i < CALLS_PER_ROUND; ++i) {
    PeekMessageA(&message, window, 0, 0, PM_REMOVE);
  }
  return now().QuadPart - start.QuadPart;
}

HWND create_empty_window() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = BENCH_WINDOW_CLASS;
  if (RegisterClassW(&window_class) == 0) {
    return nullptr;
  }
  return CreateWindowExW(0, BENCH_WINDOW_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         window_class.hInstance, nullptr);
}

// The value below which `fraction` of the values lie.
double quantile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main() {
  if (!load_and_settle()) {
    return 1;
  }
  HWND window = create_empty_window();
  if (window == nullptr) {
    std::fprintf(stderr, "bench: no empty window (error %lu)\n", GetLastError());
    return 1;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double us_per_count = 1e6 / static_cast<double>(frequency.QuadPart);

  // One round unmeasured: the first calls fault pages in and fill caches.
  time_ticks();
  time_peeks(window);
  LONG in_calls = winmm_double_midi_in_calls();
  LONG out_calls = winmm_double_midi_out_calls();

  std::vector<double> ratios;
  std::vector<double> tick_us;
  std::vector<double> peek_us;
  for (int round = 0; round < ROUNDS; ++round) {
    // Alternating which goes first keeps a drift in the machine's load from favouring either.
    LONGLONG ticks = 0;
    LONGLONG peeks = 0;
    if (round % 2 == 0) {
      ticks = time_ticks();
      peeks = time_peeks(window);
    } else {
      peeks = time_peeks(window);
      ticks = time_ticks();
    }
    ratios.push_back(static_cast<double>(ticks) / static_cast<double>(peeks));
    tick_us.push_back(static_cast<double>(ticks) * us_per_count / CALLS_PER_ROUND);
    peek_us.push_back(static_cast<double>(peeks) * us_per_count / CALLS_PER_ROUND);
  }
  in_calls = winmm_double_midi_in_calls() - in_calls;
  out_calls = winmm_double_midi_out_calls() - out_calls;

  double ratio = quantile(ratios, 0.5);
  char how[200];
  std::snprintf(how, sizeof how,
                "QueryPerformanceCounter; median ratio of %d interleaved rounds of %d calls "
                "(quartiles %.3f-%.3f); target <= %.2f",
                ROUNDS, CALLS_PER_ROUND, quantile(ratios, 0.25), quantile(ratios, 0.75),
                TARGET_RATIO);
  bench_row("idle tick / bare PeekMessageA (Wine, real DLL)", how, "%.3f (%s)", ratio,
            ratio <= TARGET_RATIO ? "met" : "missed");
  bench_row("idle tick (Wine, real DLL)", "median per-round time / calls", "%.2f us",
            quantile(tick_us, 0.5));
  bench_row("bare PeekMessageA(PM_REMOVE) (Wine)", "median per-round time / calls", "%.2f us",
            quantile(peek_us, 0.5));
  bench_row("device-count queries, 1 h idle (Wine, real DLL)",
            "winmm double's counters over the 108,000 measured ticks; expected 0",
            "%ld in, %ld out", static_cast<long>(in_calls), static_cast<long>(out_calls));

  DestroyWindow(window);
  UnregisterClassW(BENCH_WINDOW_CLASS, GetModuleHandleW(nullptr));
  host_unload_plugin();
  host_free_plugin();
  // Idle means nothing was asked of the system or the host.
  return in_calls == 0 && out_calls == 0 && host_commands().empty() ? 0 : 1;
}
