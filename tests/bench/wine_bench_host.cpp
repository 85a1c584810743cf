#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "sim/notice_sender.h"
#include "tests/bench/bench_host.h"
#include "tests/windows/dll_host.h"

namespace {

// The storm being sent, and where to.
HWND storm_window;
const std::vector<StormMessage>* storm_messages;

DWORD WINAPI send_storm(void*) {
  for (const StormMessage& message : *storm_messages) {
    LPARAM header = message.header.empty() ? 0 : reinterpret_cast<LPARAM>(message.header.data());
    SendMessageW(storm_window, WM_DEVICECHANGE, message.event, header);
  }
  return 0;
}

}  // namespace

bool bench_load_settled() {
  std::string error;
  if (!winmm_double_ready(&error) || !host_load_fresh(PLAIN_DLL, &error)) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return false;
  }
  host_settle();
  return true;
}

void bench_unload_plugin() {
  host_free_plugin();
}

// The process's own user32 is the platform, with no window of the plug-in before a load.
void bench_fresh_platform() {}

void bench_set_midi_counts(UINT inputs, UINT outputs) {
  winmm_double_set_midi_counts(inputs, outputs);
}

long bench_midi_in_reads() {
  return winmm_double_midi_in_calls();
}

long bench_midi_out_reads() {
  return winmm_double_midi_out_calls();
}

bool bench_deliver_storm(const std::vector<StormMessage>& storm, double* nanoseconds) {
  storm_window = plugin_window();
  storm_messages = &storm;
  auto start = std::chrono::steady_clock::now();
  HANDLE sender =
      storm_window != nullptr ? CreateThread(nullptr, 0, send_storm, nullptr, 0, nullptr) : nullptr;
  bool delivered =
      sender != nullptr && deliver_until_ended(sender, SENDER_TIMEOUT_MS, deliver_sent_messages);
  *nanoseconds =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  if (!delivered) {
    std::fprintf(stderr, "bench: the storm's sender stalled\n");
    return false;
  }
  CloseHandle(sender);
  return true;
}
