#include "monitor/device_change.h"

#include <cstring>

#include "monitor/interface_class.h"
#include "monitor/monitor_state.h"
#include "monitor/timer_tick.h"
#include "sim/asan_build.h"
#include "sim/device_notice.h"
#include "tests/unit/test_host.h"

using Notices = MonitorTest;

// The console is where the immediate check's lines go; without it the check is not made.
TEST_F(Notices, ImmediateCheckRunsOnlyWhenTheConsoleIsAvailable) {
  settled_plugin(1, 1, true);
  monitor_state.host_functions[SLOT_SHOW_CONSOLE_MSG] = nullptr;
  sim_set_midi_counts(2, 1);
  play_line("notify arrival now");
  EXPECT_EQ(count_reads(), 0);
  EXPECT_EQ(monitor_snapshot(), verifying(settled(1, 1), 5));
}

// A sender in this process may pass a header at any address; UBSan aborts on a misaligned read.
TEST_F(Notices, HeaderAtAnOddAddressIsReadWithoutMisalignedAccess) {
  settled_plugin(1, 1, false);
  DeviceNotice notice = interface_notice(KSCATEGORY_AUDIO, "\\\\?\\USB#MIDI");
  alignas(8) unsigned char block[DEVICE_NOTICE_CAPACITY + 1];
  std::memcpy(block + 1, notice.bytes, notice.size);
  on_device_change(
      DeviceChangeEvent{DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(block + 1)});
  EXPECT_TRUE(monitor_state.check_pending);
}

using HeaderReadDeathTest = MonitorTest;

// The poisoned headers here and in the transition table would be worthless if a read of poisoned
// memory went unnoticed: an accepted arrival reads the class, and that read ends the process.
TEST_F(HeaderReadDeathTest, ReadingPoisonedMemoryIsCaught) {
  if (!KESTRUNE_ASAN) {
    GTEST_SKIP() << "needs AddressSanitizer";
  }
  settled_plugin(1, 1, false);
  EXPECT_DEATH(play_line("notify arrival poisoned now"), "use-after-poison");
}

namespace {

// Where the host meets a new output, retrieving messages: in its console, at the line announcing
// the reset (before the command runs), or inside the command, as a host re-opening its devices may.
HostEventKind meeting_in;

void meet_a_new_output(const HostEvent& event) {
  if (event.kind == meeting_in &&
      (event.kind == HOST_COMMAND || std::strstr(event.text, "[EXECUTING_RESET]") != nullptr)) {
    sim_plug_device(SIM_MIDI_OUTPUT, KSCATEGORY_AUDIO);
    retrieve_messages();
  }
}

}  // namespace

using ResetDuringHostCommand = MonitorTest;

// In the tick in which a pending reset falls due, with logging on, the immediate check of that
// device schedules a new reset: it survives the call it was made in, and comes in its own time.
TEST_F(ResetDuringHostCommand, ResetScheduledWhileTheConsoleAnnouncesItOrInsideTheCommandSurvives) {
  for (HostEventKind kind : {HOST_CONSOLE, HOST_COMMAND}) {
    SCOPED_TRACE(kind == HOST_CONSOLE ? "met in the console" : "met in the command");
    settled_plugin(1, 1, true);
    meeting_in = kind;
    host_observe(meet_a_new_output);
    put_monitor_snapshot(resetting(settled(1, 1), 1));
    on_timer_tick();
    ASSERT_EQ(host_command_count(), 1);
    EXPECT_EQ(monitor_snapshot(), resetting(settled(1, 2), RESET_DELAY_TICKS));
    EXPECT_EQ(host_console().back(),
              "Kestrune: [RESET_COMPLETE] Windows delayed reset completed\n");
    run_ticks(RESET_DELAY_TICKS);
    EXPECT_EQ(host_command_count(), 2);
  }
}
