#include "monitor/timer_tick.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "monitor/monitor_state.h"
#include "tests/unit/test_host.h"

using Lines = std::vector<std::string>;

using ConsoleLines = MonitorTest;

// Lines that only an unset count or a missing command function bring; transcripts hold the rest.
TEST_F(ConsoleLines, UnsetCountIsAdoptedAsBaselineAndSchedulesNothing) {
  settled_plugin(1, 1, true);
  put_monitor_snapshot(verifying(settled(1, UNSET_COUNT), 1));
  sim_set_midi_counts(3, 4);
  on_timer_tick();
  EXPECT_EQ(monitor_snapshot(), settled(3, 4));
  EXPECT_EQ(host_console(),
            (Lines{
                "Kestrune: [EXPERIMENT] At 0 ticks: Current IN=3, OUT=4 | Last IN=1, OUT=-1\n",
                "Kestrune: [DEVICE_CHECK_COUNTDOWN] Device verification countdown: 0 ticks "
                "remaining\n",
                "Kestrune: [DEVICE_CHECK_NOW] Performing delayed device verification\n",
                "Kestrune: [VERIFY] Current counts - IN: 3, OUT: 4 | Last counts - IN: 1, OUT: "
                "-1\n",
                "Kestrune: [BASELINE] Baseline device count established - IN: 3, OUT: 4\n",
                "Kestrune: [NO_RESET] No MIDI device count change detected after delay, ignoring\n",
            }));
}

TEST_F(ConsoleLines, MissingCommandFunctionLogsAnErrorAndDropsTheReset) {
  settled_plugin(1, 1, true);
  put_monitor_snapshot(resetting(settled(1, 1), 1));
  monitor_state.host_functions[SLOT_MAIN_ON_COMMAND] = nullptr;
  on_timer_tick();
  EXPECT_EQ(host_console(), (Lines{
                                "Kestrune: [RESET_COUNTDOWN] Reset countdown: 0 ticks remaining\n",
                                "Kestrune: [EXECUTING_RESET] EXECUTING DELAYED RESET NOW!\n",
                                "Kestrune: [ERROR] Main_OnCommand not available!\n",
                            }));
  EXPECT_EQ(monitor_snapshot(), settled(1, 1));
  host_clear_journal();
  run_ticks(RESET_DELAY_TICKS * 2);  // not retried
  EXPECT_TRUE(host_console().empty());
  EXPECT_TRUE(host_commands().empty());
}

// Velmar re-opens its devices inside the command, maybe for seconds: the tick after it is not late.
TEST_F(ConsoleLines, AResetCommandThatTakesSecondsIsNoStall) {
  settled_plugin(1, 1, false);
  put_monitor_snapshot(resetting(settled(1, 1), 1));
  host_observe([](const HostEvent& event) {
    if (event.kind == HOST_COMMAND) {
      sim_advance_clock(3000);
    }
  });
  run_ticks(2);
  EXPECT_EQ(monitor_snapshot(), settled(1, 1));
}

// The unload releases the window before it returns the monitor to idle: a tick run inside the
// clean-up line meets the reset still due, for a change the devices really made, and runs it once.
TEST_F(ConsoleLines, ATickInsideTheCleanUpLineRunsTheResetDueOnce) {
  settled_plugin(1, 1, true);
  put_monitor_snapshot(resetting(settled(1, 1), 1));
  host_observe([](const HostEvent& event) {
    if (event.kind == HOST_CONSOLE && std::strstr(event.text, "cleaned up") != nullptr) {
      on_timer_tick();
    }
  });
  unload_plugin();
  EXPECT_EQ(host_command_count(), 1);
  run_ticks(RESET_DELAY_TICKS);
  EXPECT_EQ(host_command_count(), 1);
  EXPECT_EQ(monitor_snapshot(), settled(UNSET_COUNT, UNSET_COUNT));
}

namespace {

// An act of a session after settling, as a scenario line played after the T-th tick. A notice
// sent "now" is handled between two ticks, by the host's own loop; one without, in the next drain.
struct At {
  int tick;
  const char* line;
};

struct SessionRow {
  const char* name;
  std::vector<At> session;
  std::vector<int> command_ticks;
  int reads_of_each_count;  // since settling
};

void PrintTo(const SessionRow& row, std::ostream* out) {
  *out << row.name;
}

constexpr int SESSION_TICKS = 160;

// The edges between one look and the next, from the first notice on; a look beside a reset, or a
// notice ending the looks, is a transition row, a whole session a transcript. Baseline 1 and 1; a
// notice is an audio-class arrival, and the counts move only where a row says. Verification 5 ticks
// after a notice, looks at 18 and 80, the reset 20 ticks after whichever sees a change.
const SessionRow SESSION_ROWS[] = {
    {"VerificationSeesTheChange", {{0, "counts 2 1"}, {0, "notify arrival now"}}, {25}, 1},
    {"CountsMovingRightAfterTheVerificationAreSeenByTheSecondLook",
     {{0, "notify arrival now"}, {5, "counts 2 1"}},
     {38},
     2},
    {"TheSecondLookFromADrainsNotice", {{0, "notify arrival"}, {17, "counts 2 1"}}, {38}, 2},
    {"CountsMovingRightAfterTheSecondLookAreSeenByTheLast",
     {{0, "notify arrival now"}, {18, "counts 2 1"}},
     {100},
     3},
    {"AStallWithNothingChangedEndsAfterTheLastLook", {{10, "stall 3000"}}, {}, 3},
    {"UnloadEndsTheLooksAndAReloadReadsOnlyItsBaseline",
     {{0, "notify arrival now"}, {10, "unload"}, {11, "counts 2 1"}, {20, "load"}},
     {},
     2},
};

int session_tick;  // the number of the tick being run; 0 before the first

// Runs the ticks after settling, each act before its tick; returns the ticks a command came in.
std::vector<int> play_session(const std::vector<At>& session, int ticks) {
  std::vector<int> command_ticks;
  for (int tick = 0; tick < ticks; ++tick) {
    for (const At& at : session) {
      if (at.tick == tick) {
        play_line(at.line);
      }
    }
    int commands = host_command_count();
    session_tick = tick + 1;
    run_ticks(1);
    if (host_command_count() > commands) {
      command_ticks.push_back(tick + 1);
    }
  }
  return command_ticks;
}

}  // namespace

class CommandTiming : public ::testing::TestWithParam<SessionRow> {};

TEST_P(CommandTiming, ComesInTheTickItsRulesGiveAndCountsAreReadOnlyForThem) {
  const SessionRow& row = GetParam();
  settled_plugin(1, 1, false);
  EXPECT_EQ(play_session(row.session, SESSION_TICKS + 1), row.command_ticks);
  EXPECT_EQ(host_unexpected_command_count(), 0);
  EXPECT_EQ(sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS), row.reads_of_each_count);
  EXPECT_EQ(sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS), row.reads_of_each_count);
}

INSTANTIATE_TEST_SUITE_P(EverySession, CommandTiming, ::testing::ValuesIn(SESSION_ROWS), RowName());

using TickDrain = MonitorTest;

TEST_F(TickDrain, TickChecksItsWindowsMessagesOnceAndWithoutAWindowNotAtAll) {
  module_with_host_functions(false);
  run_ticks(3);
  EXPECT_EQ(sim_call_count(SIM_PEEK_MESSAGE_A), 0);
  settled_plugin(1, 1, false);
  on_timer_tick();
  EXPECT_EQ(sim_call_count(SIM_PEEK_MESSAGE_A), 1);
  EXPECT_EQ(sim_call_count(SIM_DISPATCH_MESSAGE_A), 0);
}

TEST_F(TickDrain, PostedMessagesOfTheWindowAreDispatchedAndOthersLeftAlone) {
  settled_plugin(1, 1, false);
  // A window of the host on the same thread: its messages are the host's to retrieve.
  ASSERT_NE(register_window_class(L"HostMainWindow", sim_host_module()), 0);
  HWND host_window = CreateWindowExW(0, L"HostMainWindow", L"host", 0, 0, 0, 0, 0, nullptr, nullptr,
                                     sim_host_module(), nullptr);
  ASSERT_NE(host_window, nullptr);
  ASSERT_TRUE(PostMessageW(monitor_state.notify_window, WM_USER, 0, 0));
  ASSERT_TRUE(PostMessageW(host_window, WM_USER, 0, 0));
  sim_clear_calls();
  on_timer_tick();
  EXPECT_EQ(sim_call_count(SIM_TRANSLATE_MESSAGE), 1);
  EXPECT_EQ(sim_call_count(SIM_DISPATCH_MESSAGE_A), 1);
  EXPECT_EQ(sim_queued_message_count(monitor_state.notify_window), 0);
  EXPECT_EQ(sim_queued_message_count(host_window), 1);
  DestroyWindow(host_window);
}

// The system hands the thread's WM_QUIT to a retrieval filtered to any window. The host's loop
// must still get it, with its code; the window's own messages before it are handled, a WM_QUIT
// posted to the window among them is dropped, and the tick goes on.
TEST_F(TickDrain, QuitPostedToTheThreadIsLeftForTheHostAndTheTickCountsDown) {
  settled_plugin(1, 1, false);
  put_monitor_snapshot(verifying(settled(1, 1), 3));
  ASSERT_TRUE(PostMessageW(monitor_state.notify_window, WM_USER, 0, 0));
  ASSERT_TRUE(PostMessageW(monitor_state.notify_window, WM_QUIT, 9, 0));
  PostQuitMessage(5);
  sim_clear_calls();
  on_timer_tick();
  EXPECT_EQ(sim_call_count(SIM_DISPATCH_MESSAGE_A), 1);
  EXPECT_EQ(sim_call_count(SIM_POST_QUIT_MESSAGE), 1);
  EXPECT_EQ(sim_call_count(SIM_PEEK_MESSAGE_A), 3);
  EXPECT_EQ(monitor_state.check_ticks_left, 2);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, static_cast<WPARAM>(5));
}

namespace {

// A host whose console, while it shows the Nth line, runs the plug-in's tick, hands it a notice
// (a console that pumps messages) or unloads it (a host shutting down from inside one).
enum class Reentry { TICK, NOTICE, UNLOAD };
const char* const REENTRY_NAMES[] = {"tick", "notice", "unload"};
Reentry reentry;
int reentry_line;
int lines_shown;
int unload_tick;

void reentrant_console(const HostEvent& event) {
  if (event.kind != HOST_CONSOLE || ++lines_shown != reentry_line) {
    return;
  }
  if (reentry == Reentry::TICK) {
    on_timer_tick();
  } else if (reentry == Reentry::NOTICE) {
    play_line("notify arrival now");
  } else {
    unload_plugin();
    unload_tick = session_tick;
  }
}

// Whole diagnostic cycles from load on, timed from settling's end: one change, one reset, or none.
struct ReentryCycle {
  const char* name;
  std::vector<At> session;
  int resets;
};

void PrintTo(const ReentryCycle& cycle, std::ostream* out) {
  *out << cycle.name;
}

const ReentryCycle REENTRY_CYCLES[] = {
    {"ImmediateReset", {{1, "counts 2 1"}, {1, "notify arrival"}}, 1},
    // The interface first, its port a few ticks later.
    {"DelayedVerification", {{1, "notify arrival"}, {3, "counts 2 1"}}, 1},
    // A notice over the pending reset, which pauses, and a change its verification restarts.
    {"PausedAndRestarted",
     {{1, "notify arrival"}, {3, "counts 2 1"}, {15, "notify arrival"}, {17, "counts 2 2"}},
     1},
    // The counts move after the verification, with no notice of their own.
    {"SecondLook", {{1, "notify arrival"}, {10, "counts 2 1"}}, 1},
    // A notice over the pending reset, whose second look falls in the tick the reset runs.
    {"LookBesideADueReset", {{1, "notify arrival"}, {3, "counts 2 1"}, {13, "notify arrival"}}, 1},
    // Every look, the last one's included, sees nothing.
    {"NoChange", {{1, "notify arrival"}}, 0},
    // The last look resets for a port that left the counts as they were.
    {"PortArrival", {{1, "notify arrival midi-in"}}, 1},
    // What no notice told of: a stall, and a resume from sleep.
    {"Stall", {{1, "stall 3000 counts 2 1"}}, 1},
    {"Resume", {{1, "power resume"}}, 1},
};

// Two series of looks, the second begun inside a line of the first's last look, and a reset.
constexpr int CYCLE_TICKS = 2 + 2 * LAST_LOOK_TICKS + RESET_DELAY_TICKS;

// Plays the cycle with the re-entry at `line` (0 for none), leaving the console lines shown in
// lines_shown; returns how many commands came in ticks after the one in which an unload happened.
int run_cycle(const ReentryCycle& cycle, Reentry kind, int line) {
  start_fresh_module(true);
  sim_set_midi_counts(1, 1);
  EXPECT_EQ(load_plugin(), 1);
  host_clear_journal();
  host_observe(reentrant_console);
  reentry = kind;
  reentry_line = line;
  lines_shown = 0;
  unload_tick = -1;
  session_tick = 0;
  run_ticks(INIT_DELAY_TICKS);
  std::vector<int> command_ticks = play_session(cycle.session, CYCLE_TICKS);
  return static_cast<int>(std::count_if(command_ticks.begin(), command_ticks.end(), [](int tick) {
    return unload_tick >= 0 && tick > unload_tick;
  }));
}

}  // namespace

class ReentrantHost : public ::testing::TestWithParam<ReentryCycle> {};

// A notice with the counts as they are changes nothing: a cycle still earns its one reset, or none.
// A reset already running when the console unloads the plug-in may still finish; none comes after.
TEST_P(ReentrantHost, TickNoticeOrUnloadInAnyConsoleLineNeitherDuplicatesNorLosesTheReset) {
  const ReentryCycle& cycle = GetParam();
  for (Reentry kind : {Reentry::TICK, Reentry::NOTICE, Reentry::UNLOAD}) {
    run_cycle(cycle, kind, 0);
    int lines = lines_shown;
    ASSERT_EQ(host_command_count(), cycle.resets);
    for (int line = 1; line <= lines; ++line) {
      int later_commands = run_cycle(cycle, kind, line);
      SCOPED_TRACE(testing::Message()
                   << REENTRY_NAMES[static_cast<int>(kind)] << " inside console line " << line);
      if (kind == Reentry::UNLOAD) {
        ASSERT_NE(unload_tick, -1);
        EXPECT_EQ(later_commands, 0) << "reset after the unload";
        EXPECT_LE(host_command_count(), cycle.resets);
      } else {
        EXPECT_EQ(host_command_count(), cycle.resets);
      }
      // A notice late in the cycle brings looks of its own, which may still wait at its end.
      EXPECT_FALSE(monitor_state.reset_pending || monitor_state.check_pending ||
                   (kind != Reentry::NOTICE && monitor_state.look_pending));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDiagnosticCycle, ReentrantHost, ::testing::ValuesIn(REENTRY_CYCLES),
                         RowName());
