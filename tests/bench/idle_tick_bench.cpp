// The idle tick against the bare message check it wraps, PeekMessageA(PM_REMOVE) on an empty
// message-only window of the program's own, in either world:
//   kestrune_bench_idle_tick tick N   loads the plug-in, lets it settle, then runs N idle ticks;
//   kestrune_bench_idle_tick peek N   makes N bare message checks.
// Natively scripts/bench.sh counts their instructions under callgrind, only inside on_timer_tick
// or PeekMessageA (--toggle-collect), and subtracts a run with another N, which removes the
// settling ticks and every first-call cost. Under Wine, with no arguments, it times rounds of
// settled, idle ticks and rounds of bare checks, interleaved so that both see the same load on a
// noisy machine, and reports the median of the per-round ratios; the counters of the MIDI count
// queries show that the idle ticks never read the counts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/bench/bench_support.h"

namespace {

constexpr int CALLS_PER_ROUND = 500;
// 216 rounds of 500 ticks: 108,000 ticks, an hour of a host ticking 30 times a second.
constexpr int ROUNDS = 216;
constexpr double TARGET_RATIO = 1.05;

// Nothing was asked of the system or the host since `in_reads` and `out_reads`.
bool idle_since(long in_reads, long out_reads) {
  return world_midi_reads(true) == in_reads && world_midi_reads(false) == out_reads &&
         bench_reset_commands() == 0;
}

// Bare message checks on the empty window; returns the messages found, which must be none.
long peeks(HWND window, long count) {
  long found = 0;
  for (long i = 0; i < count; ++i) {
    MSG message;
    found += PeekMessageA(&message, window, 0, 0, PM_REMOVE);
  }
  return found;
}

// Microseconds for a round of ticks, or of bare checks on `window` when it is given.
double round_microseconds(HWND window) {
  auto start = std::chrono::steady_clock::now();
  if (window != nullptr) {
    peeks(window, CALLS_PER_ROUND);
  } else {
    host_call_ticks(CALLS_PER_ROUND);
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

// The value below which `fraction` of the values lie.
double quantile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

int run_interleaved_rounds() {
  HWND window = bench_load_settled() ? bench_empty_window() : nullptr;
  if (window == nullptr) {
    return 1;
  }
  // One round unmeasured: the first calls fault pages in and fill caches.
  round_microseconds(nullptr);
  round_microseconds(window);
  long in_reads = world_midi_reads(true);
  long out_reads = world_midi_reads(false);
  std::vector<double> ratios;
  std::vector<double> tick_us;
  std::vector<double> peek_us;
  for (int round = 0; round < ROUNDS; ++round) {
    // Alternating which goes first keeps a drift in the machine's load from favouring either.
    bool ticks_first = round % 2 == 0;
    double first = round_microseconds(ticks_first ? nullptr : window);
    double second = round_microseconds(ticks_first ? window : nullptr);
    double ticks = ticks_first ? first : second;
    double checks = ticks_first ? second : first;
    ratios.push_back(ticks / checks);
    tick_us.push_back(ticks / CALLS_PER_ROUND);
    peek_us.push_back(checks / CALLS_PER_ROUND);
  }
  double ratio = quantile(ratios, 0.5);
  char how[200];
  std::snprintf(how, sizeof how,
                "steady_clock; median ratio of %d interleaved rounds of %d calls (quartiles "
                "%.3f-%.3f); target <= %.2f",
                ROUNDS, CALLS_PER_ROUND, quantile(ratios, 0.25), quantile(ratios, 0.75),
                TARGET_RATIO);
  bench_row("idle tick / bare PeekMessageA (" BENCH_WORLD ")", how, "%.3f (%s)", ratio,
            ratio <= TARGET_RATIO ? "met" : "missed");
  bench_row("idle tick (" BENCH_WORLD ")", "median per-round time / calls", "%.2f us",
            quantile(tick_us, 0.5));
  bench_row("bare PeekMessageA(PM_REMOVE) (" BENCH_WORLD ")", "median per-round time / calls",
            "%.2f us", quantile(peek_us, 0.5));
  bench_row("device-count queries, 1 h idle (" BENCH_WORLD ")",
            "the counters over the 108,000 measured ticks; expected 0", "%ld in, %ld out",
            world_midi_reads(true) - in_reads, world_midi_reads(false) - out_reads);
  bool idle = idle_since(in_reads, out_reads);
  bench_destroy_empty_window(window);
  bench_unload_plugin();
  return idle ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) {
    return run_interleaved_rounds();
  }
  long count = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
  if (count > 0 && std::strcmp(argv[1], "tick") == 0 && bench_load_settled()) {
    long in_reads = world_midi_reads(true);
    long out_reads = world_midi_reads(false);
    host_call_ticks(count);
    bool idle = idle_since(in_reads, out_reads);
    bench_unload_plugin();
    return idle ? 0 : 1;
  }
  if (count > 0 && std::strcmp(argv[1], "peek") == 0) {
    HWND window = bench_open_world() ? bench_empty_window() : nullptr;
    if (window == nullptr) {
      return 1;
    }
    if (peeks(window, count) != 0) {
      std::fprintf(stderr, "bench: the window was not empty\n");
      return 1;
    }
    bench_destroy_empty_window(window);
    return 0;
  }
  std::fprintf(stderr, "usage: kestrune_bench_idle_tick [tick|peek COUNT]\n");
  return 2;
}
