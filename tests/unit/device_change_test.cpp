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

// An output arrives while the host thread retrieves messages inside a host call.
void plug_an_output_and_retrieve_messages() {
  sim_plug_device(SIM_MIDI_OUTPUT, KSCATEGORY_AUDIO);
  retrieve_messages();
}

// A host whose reset command retrieves messages, as a host re-opening its devices may.
void command_meeting_a_new_device(const HostEvent& event) {
  if (event.kind == HOST_COMMAND) {
    plug_an_output_and_retrieve_messages();
  }
}

// A host console that retrieves messages while it prints: the device arrives with the line that
// announces the reset, before the command itself runs.
void console_meeting_a_new_device(const HostEvent& event) {
  if (event.kind == HOST_CONSOLE && std::strstr(event.text, "[EXECUTING_RESET]") != nullptr) {
    plug_an_output_and_retrieve_messages();
  }
}

}  // namespace

class ResetDuringHostCommand : public MonitorTest {
 protected:
  // Runs the tick in which a pending reset falls due, with a host that meets a new device inside
  // one of its calls; with logging on, the immediate check of that device schedules a new reset.
  void run_due_reset_with(HostObserver host) {
    settled_plugin(1, 1, true);
    host_observe(host);
    put_monitor_snapshot(resetting(settled(1, 1), 1));
    on_timer_tick();
    ASSERT_EQ(host_command_count(), 1);
    EXPECT_EQ(monitor_snapshot(), resetting(settled(1, 2), RESET_DELAY_TICKS));
  }
};

TEST_F(ResetDuringHostCommand, ResetScheduledWhileTheConsoleAnnouncesItSurvives) {
  run_due_reset_with(console_meeting_a_new_device);
}

TEST_F(ResetDuringHostCommand, ResetScheduledInsideTheCommandSurvivesIt) {
  run_due_reset_with(command_meeting_a_new_device);
  EXPECT_EQ(host_console().back(), "Kestrune: [RESET_COMPLETE] Windows delayed reset completed\n");
  run_ticks(RESET_DELAY_TICKS);
  EXPECT_EQ(host_command_count(), 2);
}
