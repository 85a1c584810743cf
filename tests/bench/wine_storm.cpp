// A storm under Wine, on the real kestrune.dll. A WM_DEVICECHANGE that carries a header cannot be
// posted, and a sent one blocks its sender until the host thread retrieves it, so a storm cannot
// be queued up in advance as it is natively. Here another thread sends 10,000 messages of mixed
// kinds, one after the other, while the host thread delivers each in its message loop; the time
// per message is the whole storm's time divided by its messages. The ticks that follow must
// bring exactly one verification and one reset.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "monitor/monitor_state.h"
#include "tests/bench/bench_table.h"
#include "tests/bench/storm_messages.h"
#include "tests/bench/wine_settled_plugin.h"
#include "tests/windows/device_messages.h"
#include "tests/windows/dll_host.h"

namespace {

constexpr int STORM_MESSAGES = 10000;
constexpr DWORD STALL_TIMEOUT_MS = 10000;
// Well past the verification and the reset, so that a second one would be seen.
constexpr int TICKS_AFTER_STORM = 10 * (CHECK_DELAY_TICKS + RESET_DELAY_TICKS);

struct Storm {
  HWND window;
  std::vector<StormMessage> messages;
};

DWORD WINAPI send_storm(void* parameter) {
  const Storm* storm = static_cast<const Storm*>(parameter);
  for (const StormMessage& message : storm->messages) {
    LPARAM header = message.header.empty() ? 0 : reinterpret_cast<LPARAM>(message.header.data());
    SendMessageW(storm->window, WM_DEVICECHANGE, message.event, header);
  }
  return 0;
}

// The host's own loop between ticks: each retrieval delivers the message the sender is blocked
// on. Removing nothing leaves the host's posted messages alone.
bool deliver_until_done(HANDLE sender) {
  for (;;) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    DWORD woken = MsgWaitForMultipleObjectsEx(1, &sender, STALL_TIMEOUT_MS, QS_SENDMESSAGE,
                                              MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) {
      return true;
    }
    if (woken != WAIT_OBJECT_0 + 1) {
      return false;
    }
  }
}

}  // namespace

int main() {
  if (!load_and_settle()) {
    return 1;
  }
  Storm storm{plugin_window(), make_storm(STORM_MESSAGES, 0x5EED)};
  LONG in_calls = winmm_double_midi_in_calls();
  LONG out_calls = winmm_double_midi_out_calls();
  // The counts move as a device's would, so that the verification finds a change.
  winmm_double_set_midi_counts(2, 1);

  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HANDLE sender = CreateThread(nullptr, 0, send_storm, &storm, 0, nullptr);
  if (sender == nullptr || !deliver_until_done(sender)) {
    std::fprintf(stderr, "bench: the storm's sender stalled\n");
    return 1;
  }
  QueryPerformanceCounter(&end);
  CloseHandle(sender);

  host_call_ticks(TICKS_AFTER_STORM);
  in_calls = winmm_double_midi_in_calls() - in_calls;
  out_calls = winmm_double_midi_out_calls() - out_calls;
  int resets = 0;
  for (const HostCommand& command : host_commands()) {
    resets += command.command == RESET_COMMAND_ID && command.flag == 0 ? 1 : 0;
  }
  bool one_each = in_calls == 1 && out_calls == 1 && resets == 1 &&
                  host_commands().size() == static_cast<size_t>(resets);

  double us = static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
              static_cast<double>(frequency.QuadPart);
  char how[200];
  std::snprintf(how, sizeof how,
                "QueryPerformanceCounter around %d SendMessageW from another thread (%d "
                "audio-class), delivered by the host's message loop",
                STORM_MESSAGES, count_audio_interface_messages(storm.messages));
  bench_row("storm, time per message (Wine, real DLL)", how, "%.2f us", us / STORM_MESSAGES);
  bench_row("storm, verifications and resets (Wine, real DLL)",
            "winmm double's counters and host commands after; expected 1 each",
            "%ld in, %ld out; %d reset", static_cast<long>(in_calls), static_cast<long>(out_calls),
            resets);

  host_unload_plugin();
  host_free_plugin();
  return one_each ? 0 : 1;
}
