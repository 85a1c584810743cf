// kestrune-probe: watches the device notices the plug-in watches, as it sees them, and prints
// what happened with times, for a problem report or for real timings. It neither loads the
// plug-in nor needs the host.
#include <windows.h>

#include <cstdio>

#include "monitor/tick_delays.h"
#include "probe/device_watch.h"
#include "probe/probe_options.h"
#include "probe/probe_output.h"
#include "probe/probe_window.h"
#include "probe/windows_version.h"

#ifndef KESTRUNE_PROBE_VERSION
#define KESTRUNE_PROBE_VERSION ""
#endif

namespace {

// Windows ends the process once the handler returns from the console window's close, and at the
// latest about 5 s after the close: the handler waits a little less than that for the main thread
// to write the closing lines.
constexpr DWORD CLOSE_WAIT_MS = 4000;
constexpr DWORD CLOSE_TEST_LATE_LINES_MS = 500;
// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, which the mingw-w64 headers may lack. Windows grants it
// since Windows 10 1803 and refuses it, as an invalid parameter, before.
constexpr DWORD HIGH_RESOLUTION_TIMER = 0x2;

HANDLE stop_event = nullptr;
HANDLE closing_lines_written = nullptr;
LONG stop_type = -1;
HANDLE poll_timer = nullptr;

// Runs on a thread of its own, which must not touch the window: it only wakes the main loop,
// which then releases everything on the thread that acquired it.
BOOL WINAPI on_console_control(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  InterlockedExchange(&stop_type, static_cast<LONG>(type));
  SetEvent(stop_event);
  if (type == CTRL_CLOSE_EVENT) {
    WaitForSingleObject(closing_lines_written, CLOSE_WAIT_MS);
  }
  return TRUE;
}

// The switch for the test alone: the handler called as Windows calls it, on a thread of its own,
// and a line once it has returned, where Windows would have ended the process. The main thread
// then writes its closing lines late, so that only a handler that waits for them returns after.
DWORD WINAPI close_console_for_test(void* /*unused*/) {
  on_console_control(CTRL_CLOSE_EVENT);
  probe_timed_line(probe_ms(), "the close handler returned");
  return 0;
}

// A wait on Windows otherwise ends on the system timer's beat, often 15.6 ms, so a poll due in
// 10 ms would come that much late; the high-resolution timer ends it when due, without speeding
// up the timer for the whole machine.
bool open_poll_timer() {
  poll_timer = CreateWaitableTimerExW(nullptr, nullptr, HIGH_RESOLUTION_TIMER, TIMER_ALL_ACCESS);
  if (poll_timer != nullptr) {
    probe_line("polling timer: high resolution");
    return true;
  }
  poll_timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  if (poll_timer != nullptr) {
    probe_line(
        "polling timer: the ordinary one (no high-resolution timer here): delays may be up to "
        "the system timer's beat, often 15.6 ms, late");
    return true;
  }
  probe_line("could not create a timer (error %lu)", GetLastError());
  return false;
}

void print_header(const ProbeOptions& options) {
  const char* version = KESTRUNE_PROBE_VERSION[0] != '\0' ? KESTRUNE_PROBE_VERSION : "dev";
  char system[64];
  windows_version(system, sizeof system);
  probe_line("kestrune-probe %s on Windows %s", version, system);
  int32_t tick = options.tick_ms;
  probe_line(
      "verdicts for a tick of %d ms: the plug-in verifies %d ticks (%d ms) after a notice; if it "
      "sees no change, it looks again at %d and %d ticks (%d and %d ms)",
      tick, CHECK_DELAY_TICKS, CHECK_DELAY_TICKS * tick, SECOND_LOOK_TICKS, LAST_LOOK_TICKS,
      SECOND_LOOK_TICKS * tick, LAST_LOOK_TICKS * tick);
  probe_line(
      "a look that sees a change schedules the reset %d ticks (%d ms) later; a reset pending when "
      "a notice is accepted waits while that notice's verification is pending",
      RESET_DELAY_TICKS, RESET_DELAY_TICKS * tick);
  probe_line(
      "the last look resets when a MIDI port arrived with the counts unchanged; a resume from "
      "sleep is reset at its verification; a stall of the host's thread (%d ms or more between "
      "ticks) is verified as a notice is, but the probe cannot see the host's stalls and does not "
      "replay them",
      static_cast<int>(STALL_MS));
  probe_line("counts watched for %lld ms after each accepted notice",
             watch_length_ms(options.tick_ms));
}

// How long until the next poll or the end of the run, whichever comes first; -1 while idle with
// no end set.
long long wait_ms(long long deadline_ms) {
  long long now = probe_ms();
  long long until = next_device_poll_ms();
  if (deadline_ms >= 0 && (until < 0 || deadline_ms < until)) {
    until = deadline_ms;
  }
  if (until < 0) {
    return -1;
  }
  return until <= now ? 0 : until - now;
}

// Notices are sent messages: PeekMessageW delivers them to the window procedure.
bool handle_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      return false;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

const char* stop_reason() {
  LONG type = InterlockedCompareExchange(&stop_type, 0, 0);
  return type == CTRL_CLOSE_EVENT   ? "stopped: the console window is closing"
         : type == CTRL_BREAK_EVENT ? "stopped by Ctrl+Break"
                                    : "stopped by Ctrl+C";
}

// Waits for the stop event, a message (sent notices included), or the timer set for the next poll
// or the end of the run. Idle, with no end set, it waits for good.
const char* run(long long deadline_ms) {
  HANDLE handles[2] = {stop_event, poll_timer};
  for (;;) {
    long long due = wait_ms(deadline_ms);
    DWORD woken = WAIT_TIMEOUT;
    if (due != 0) {
      // A timer that cannot be set leaves the wait's own timeout, rounded as it may be.
      DWORD count = 1;
      DWORD timeout = INFINITE;
      LARGE_INTEGER relative;
      relative.QuadPart = -due * 10000;  // in 100 ns units; negative: from now
      if (due > 0 && SetWaitableTimer(poll_timer, &relative, 0, nullptr, nullptr, FALSE)) {
        count = 2;
      } else if (due > 0) {
        timeout = static_cast<DWORD>(due);
      }
      woken =
          MsgWaitForMultipleObjectsEx(count, handles, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    if (woken == WAIT_OBJECT_0) {
      return stop_reason();
    }
    if (!handle_messages()) {
      return "stopped by WM_QUIT";
    }
    long long now = probe_ms();
    poll_device_watch(now);
    if (deadline_ms >= 0 && now >= deadline_ms) {
      return "stopped: the time given is over";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  start_probe_output();
  ProbeOptions options;
  if (!parse_probe_options(argc, argv, &options)) {
    (void)std::fputs(PROBE_USAGE, stderr);
    return 2;
  }
  if (options.help) {
    (void)std::fputs(PROBE_USAGE, stdout);
    return 0;
  }
  print_header(options);
  stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  closing_lines_written = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (stop_event == nullptr || closing_lines_written == nullptr ||
      !SetConsoleCtrlHandler(on_console_control, TRUE)) {
    probe_line("could not set up Ctrl+C handling (error %lu)", GetLastError());
    return 1;
  }
  if (!open_poll_timer()) {
    return 1;
  }
  start_device_watch(options.tick_ms);
  if (!open_probe_window(options.all_classes)) {
    return 1;
  }
  long long deadline_ms = -1;
  if (options.seconds > 0) {
    deadline_ms = options.seconds * 1000LL;
    probe_line("watching for %d s; Ctrl+C stops earlier", options.seconds);
  } else {
    probe_line("watching until Ctrl+C");
  }
  HANDLE close_tester = options.test_console_close
                            ? CreateThread(nullptr, 0, close_console_for_test, nullptr, 0, nullptr)
                            : nullptr;
  const char* ending = run(deadline_ms);
  if (close_tester != nullptr) {
    // As on a slow machine: a handler that did not wait would have returned long before.
    Sleep(CLOSE_TEST_LATE_LINES_MS);
  }
  end_device_watch(probe_ms());
  close_probe_window();
  probe_timed_line(probe_ms(), "%s", ending);
  // The events stay open until the process ends: a handler may still be running on its thread.
  SetEvent(closing_lines_written);
  SetConsoleCtrlHandler(on_console_control, FALSE);
  CloseHandle(poll_timer);
  if (close_tester != nullptr) {
    WaitForSingleObject(close_tester, INFINITE);
    CloseHandle(close_tester);
  }
  return 0;
}
