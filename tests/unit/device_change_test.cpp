#include "monitor/device_change.h"

#include <sanitizer/asan_interface.h>

#include <cstring>
#include <string>
#include <vector>

#include "monitor/monitor_state.h"
#include "monitor/timer_tick.h"
#include "tests/unit/asan_build.h"
#include "tests/unit/test_host.h"

namespace {

const GUID VOLUME_CLASS = {
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// Differs from the audio class in its very last byte only.
const GUID ALMOST_AUDIO = {
    0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x97}};

// Memory the monitor must not read. Under ASan every read of it is a report that ends the run,
// so a test that passes a pointer into it fails loudly if the header is touched.
alignas(16) unsigned char forbidden_memory[64];

void forbid_from(size_t offset) {
  ASAN_POISON_MEMORY_REGION(forbidden_memory + offset, sizeof forbidden_memory - offset);
}

const DEV_BROADCAST_HDR* forbidden_header() {
  forbid_from(0);
  return reinterpret_cast<const DEV_BROADCAST_HDR*>(forbidden_memory);
}

// A device-interface header whose first `readable` bytes are `notice` and the rest forbidden.
const DEV_BROADCAST_HDR* header_readable_to(const InterfaceHeader& notice, size_t readable) {
  std::memcpy(forbidden_memory, &notice, readable);
  forbid_from(readable);
  return reinterpret_cast<const DEV_BROADCAST_HDR*>(forbidden_memory);
}

const DEV_BROADCAST_HDR* as_header(const InterfaceHeader& notice) {
  return reinterpret_cast<const DEV_BROADCAST_HDR*>(&notice);
}

void deliver(WPARAM event_code, const DEV_BROADCAST_HDR* header) {
  on_device_change(DeviceChangeEvent{event_code, header});
}

bool state_untouched_after_settling(unsigned inputs, unsigned outputs) {
  return monitor_state.init_ticks_left == 0 && !monitor_state.check_pending &&
         monitor_state.check_ticks_left == 0 && !monitor_state.reset_pending &&
         monitor_state.reset_ticks_left == 0 &&
         monitor_state.last_in_count == static_cast<int32_t>(inputs) &&
         monitor_state.last_out_count == static_cast<int32_t>(outputs);
}

int count_reads() {
  return sim_call_count(SIM_MIDI_IN_GET_NUM_DEVS) + sim_call_count(SIM_MIDI_OUT_GET_NUM_DEVS);
}

class DeviceChangeTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_world(false); }
  void TearDown() override {
    ASAN_UNPOISON_MEMORY_REGION(forbidden_memory, sizeof forbidden_memory);
  }
};

}  // namespace

using DroppedEvents = DeviceChangeTest;

TEST_F(DroppedEvents, DuringSettlingEveryEventIsDroppedWithoutReadingItsHeader) {
  reset_world(true);
  install_host_functions();
  sim_set_midi_counts(1, 1);
  begin_settle();
  run_ticks(10);
  host_clear_journal();
  for (WPARAM code : {WPARAM{DBT_DEVICEARRIVAL}, WPARAM{DBT_DEVICEREMOVECOMPLETE}, WPARAM{7}}) {
    deliver(code, forbidden_header());
  }
  EXPECT_FALSE(monitor_state.check_pending);
  EXPECT_EQ(monitor_state.init_ticks_left, INIT_DELAY_TICKS - 10);
  EXPECT_EQ(count_reads(), 0);
}

TEST_F(DroppedEvents, AudioArrivalDuringSettlingIsNotCaughtUpAfterwards) {
  install_host_functions();
  sim_set_midi_counts(1, 1);
  begin_settle();
  run_ticks(INIT_DELAY_TICKS - 1);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  deliver(DBT_DEVICEARRIVAL, as_header(notice));
  sim_set_midi_counts(2, 1);
  EXPECT_FALSE(monitor_state.check_pending);
  run_ticks(1 + CHECK_DELAY_TICKS + RESET_DELAY_TICKS);
  // The baseline taken at the end of settling already holds the new device.
  EXPECT_EQ(monitor_state.last_in_count, 2);
  EXPECT_FALSE(monitor_state.check_pending);
  EXPECT_TRUE(host_commands().empty());
}

TEST_F(DroppedEvents, OtherEventTypesAreDroppedWithoutReadingTheSecondParameter) {
  settle_monitor(1, 1, true);
  deliver(DBT_DEVNODES_CHANGED, forbidden_header());
  // Compared at full width: only the low 32 bits of this one look like an arrival.
  deliver(WPARAM{0x100008000ull}, forbidden_header());
  EXPECT_TRUE(state_untouched_after_settling(1, 1));
}

TEST_F(DroppedEvents, ArrivalOrRemovalWithoutHeaderIsAnInvalidHeader) {
  settle_monitor(1, 1, true);
  deliver(DBT_DEVICEARRIVAL, nullptr);
  deliver(DBT_DEVICEREMOVECOMPLETE, nullptr);
  EXPECT_TRUE(state_untouched_after_settling(1, 1));
}

TEST_F(DroppedEvents, HeaderOfAnotherDeviceTypeIsDroppedBeforeItsClassIsRead) {
  settle_monitor(1, 1, true);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  notice.header.dbcc_devicetype = DBT_DEVTYP_VOLUME;
  deliver(DBT_DEVICEARRIVAL, header_readable_to(notice, sizeof(DEV_BROADCAST_HDR)));
  EXPECT_TRUE(state_untouched_after_settling(1, 1));
}

TEST_F(DroppedEvents, InterfaceOfANonAudioClassIsDropped) {
  settle_monitor(1, 1, true);
  for (const GUID& interface_class : {VOLUME_CLASS, ALMOST_AUDIO}) {
    InterfaceHeader notice = make_interface_header(interface_class);
    deliver(DBT_DEVICEARRIVAL, as_header(notice));
  }
  EXPECT_TRUE(state_untouched_after_settling(1, 1));
  EXPECT_EQ(count_reads(), 0);
}

TEST_F(DroppedEvents, EventWhileAVerificationIsPendingDoesNotRestartItsCountdown) {
  settle_monitor(1, 1, true);
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = 2;
  sim_set_midi_counts(2, 1);  // would make an immediate check schedule a reset
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  deliver(DBT_DEVICEARRIVAL, as_header(notice));
  EXPECT_EQ(monitor_state.check_ticks_left, 2);
  EXPECT_FALSE(monitor_state.reset_pending);
  EXPECT_EQ(count_reads(), 0);
}

// A removed port's handle is dead even if the counts come back, so the removal is remembered
// for the verification already waiting; other events are still dropped without a trace.
TEST_F(DroppedEvents, PortRemovalWhileAVerificationIsPendingIsRemembered) {
  struct Row {
    WPARAM event;
    const GUID* interface_class;
    bool remembered;
  };
  for (bool reset_pending : {false, true}) {
    for (Row row : {Row{DBT_DEVICEREMOVECOMPLETE, &KSCATEGORY_AUDIO, false},
                    Row{DBT_DEVICEARRIVAL, &MIDI_INPUT_PORT_INTERFACE, false},
                    Row{DBT_DEVICEREMOVECOMPLETE, &MIDI_INPUT_PORT_INTERFACE, true},
                    Row{DBT_DEVICEREMOVECOMPLETE, &MIDI_OUTPUT_PORT_INTERFACE, true}}) {
      SCOPED_TRACE(testing::Message() << row.interface_class->Data1 << " " << row.event
                                      << (reset_pending ? " over a pending reset" : ""));
      settle_monitor(1, 1, false);
      monitor_state.check_pending = true;
      monitor_state.check_ticks_left = 2;
      monitor_state.reset_pending = reset_pending;
      monitor_state.reset_ticks_left = reset_pending ? 9 : 0;
      InterfaceHeader notice = make_interface_header(*row.interface_class);
      deliver(row.event, as_header(notice));
      EXPECT_EQ(monitor_state.port_removed, row.remembered);
      EXPECT_EQ(monitor_state.check_ticks_left, 2);
      EXPECT_EQ(monitor_state.reset_ticks_left, reset_pending ? 9 : 0);
    }
  }
}

using ShortHeaders = DeviceChangeTest;

TEST_F(ShortHeaders, TwelveByteHeaderIsDroppedWithoutReadingPastItsEnd) {
  settle_monitor(1, 1, true);
  // A heap block of exactly the header's size: ASan reports any byte read past it.
  auto* block = new unsigned char[sizeof(DEV_BROADCAST_HDR)];
  const DEV_BROADCAST_HDR fields = {sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_DEVICEINTERFACE, 0};
  std::memcpy(block, &fields, sizeof fields);
  deliver(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(block));
  delete[] block;
  EXPECT_TRUE(state_untouched_after_settling(1, 1));
}

TEST_F(ShortHeaders, DeviceTypeIsNotReadWhenTheSizeDoesNotReachIt) {
  settle_monitor(1, 1, true);
  // Only the size field arrived; the device type would lie past the block.
  auto* block = new unsigned char[sizeof(DWORD)];
  const DWORD size = sizeof(DWORD);
  std::memcpy(block, &size, sizeof size);
  deliver(DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<const DEV_BROADCAST_HDR*>(block));
  delete[] block;
  EXPECT_TRUE(state_untouched_after_settling(1, 1));
}

TEST_F(ShortHeaders, TwentyEightByteAudioHeaderIsAccepted) {
  settle_monitor(1, 1, false);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  notice.header.dbcc_size = 28;
  auto* block = new unsigned char[28];
  std::memcpy(block, &notice, 28);
  deliver(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(block));
  delete[] block;
  EXPECT_TRUE(monitor_state.check_pending);
  EXPECT_EQ(monitor_state.check_ticks_left, CHECK_DELAY_TICKS);
}

// A sender in this process may pass a header at any address; UBSan aborts on a misaligned read.
TEST_F(ShortHeaders, HeaderAtAnOddAddressIsReadWithoutMisalignedAccess) {
  settle_monitor(1, 1, false);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  alignas(8) unsigned char block[sizeof notice + 1];
  std::memcpy(block + 1, &notice, sizeof notice);
  deliver(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(block + 1));
  EXPECT_TRUE(monitor_state.check_pending);
}

TEST_F(ShortHeaders, HeaderWhoseSizeIsShorterThanAnInterfaceRecordIsDropped) {
  settle_monitor(1, 1, true);
  for (DWORD size : {DWORD{8}, DWORD{27}}) {
    host_clear_journal();
    // Everything after the size field describes a valid audio interface: only the size is wrong.
    InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
    notice.header.dbcc_size = size;
    deliver(DBT_DEVICEARRIVAL, as_header(notice));
  }
  EXPECT_TRUE(state_untouched_after_settling(1, 1));
}

using HeaderReadDeathTest = DeviceChangeTest;

// The traps above would be worthless if a read of forbidden memory went unnoticed: an accepted
// arrival reads the class, and that read ends the process.
TEST_F(HeaderReadDeathTest, ReadingForbiddenMemoryIsCaught) {
  if (!KESTRUNE_TEST_ASAN) {
    GTEST_SKIP() << "needs AddressSanitizer";
  }
  settle_monitor(1, 1, false);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  const DEV_BROADCAST_HDR* header = header_readable_to(notice, sizeof(DEV_BROADCAST_HDR));
  EXPECT_DEATH(deliver(DBT_DEVICEARRIVAL, header), "use-after-poison");
}

using AcceptedEvents = DeviceChangeTest;

TEST_F(AcceptedEvents, EveryAudioAndPortClassSchedulesTheVerificationWithoutReadingCounts) {
  for (const GUID& interface_class : {KSCATEGORY_AUDIO, KSCATEGORY_RENDER, KSCATEGORY_CAPTURE,
                                      MIDI_INPUT_PORT_INTERFACE, MIDI_OUTPUT_PORT_INTERFACE}) {
    settle_monitor(1, 1, false);
    InterfaceHeader notice = make_interface_header(interface_class);
    deliver(DBT_DEVICEARRIVAL, as_header(notice));
    EXPECT_TRUE(monitor_state.check_pending);
    EXPECT_EQ(monitor_state.check_ticks_left, CHECK_DELAY_TICKS);
    EXPECT_FALSE(monitor_state.reset_pending);
    EXPECT_EQ(count_reads(), 0);
  }
}

// Only a MIDI port's removal is remembered: an audio interface may be a headset's.
TEST_F(AcceptedEvents, RemovalIsAcceptedAndOnlyAPortsIsRemembered) {
  for (const GUID* interface_class : {&KSCATEGORY_CAPTURE, &MIDI_INPUT_PORT_INTERFACE}) {
    settle_monitor(2, 1, false);
    InterfaceHeader notice = make_interface_header(*interface_class);
    deliver(DBT_DEVICEREMOVECOMPLETE, as_header(notice));
    EXPECT_TRUE(monitor_state.check_pending);
    EXPECT_EQ(monitor_state.port_removed, interface_class == &MIDI_INPUT_PORT_INTERFACE);
  }
}

TEST_F(AcceptedEvents, ImmediateCheckThatSeesAChangeSchedulesTheResetAtOnce) {
  settle_monitor(1, 1, true);
  sim_set_midi_counts(2, 1);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  deliver(DBT_DEVICEARRIVAL, as_header(notice));
  EXPECT_TRUE(monitor_state.reset_pending);
  EXPECT_EQ(monitor_state.reset_ticks_left, RESET_DELAY_TICKS);
  EXPECT_EQ(monitor_state.last_in_count, 2);
  EXPECT_EQ(monitor_state.last_out_count, 1);
  EXPECT_FALSE(monitor_state.check_pending);
  EXPECT_EQ(monitor_state.check_ticks_left, 0);
}

// Whatever schedules a reset takes care of a removed port: the immediate check too.
TEST_F(AcceptedEvents, ImmediateResetForARemovedPortClearsTheRecord) {
  settle_monitor(2, 1, true);
  sim_set_midi_counts(1, 1);
  InterfaceHeader notice = make_interface_header(MIDI_INPUT_PORT_INTERFACE);
  deliver(DBT_DEVICEREMOVECOMPLETE, as_header(notice));
  EXPECT_TRUE(monitor_state.reset_pending);
  EXPECT_FALSE(monitor_state.check_pending);
  EXPECT_FALSE(monitor_state.port_removed);
}

TEST_F(AcceptedEvents, ImmediateCheckWithoutChangeFallsBackToTheVerification) {
  settle_monitor(1, 1, true);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  deliver(DBT_DEVICEARRIVAL, as_header(notice));
  EXPECT_TRUE(monitor_state.check_pending);
  EXPECT_EQ(monitor_state.check_ticks_left, CHECK_DELAY_TICKS);
  EXPECT_FALSE(monitor_state.reset_pending);
}

TEST_F(AcceptedEvents, ImmediateCheckRunsOnlyWhenTheConsoleIsAvailable) {
  settle_monitor(1, 1, true);
  monitor_state.host_functions[SLOT_SHOW_CONSOLE_MSG] = nullptr;
  sim_set_midi_counts(2, 1);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  deliver(DBT_DEVICEARRIVAL, as_header(notice));
  EXPECT_EQ(count_reads(), 0);
  EXPECT_TRUE(monitor_state.check_pending);
  EXPECT_FALSE(monitor_state.reset_pending);
}

TEST_F(AcceptedEvents, EventOverAPendingResetLeavesTheResetAsItWas) {
  settle_monitor(1, 1, false);
  monitor_state.reset_pending = true;
  monitor_state.reset_ticks_left = 7;
  sim_set_midi_counts(2, 1);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  deliver(DBT_DEVICEARRIVAL, as_header(notice));
  EXPECT_TRUE(monitor_state.check_pending);
  EXPECT_EQ(monitor_state.check_ticks_left, CHECK_DELAY_TICKS);
  EXPECT_TRUE(monitor_state.reset_pending);
  EXPECT_EQ(monitor_state.reset_ticks_left, 7);
  EXPECT_EQ(monitor_state.last_in_count, 1);
}

TEST_F(AcceptedEvents, ImmediateCheckThatSeesAChangeRestartsAPendingReset) {
  settle_monitor(1, 1, true);
  monitor_state.reset_pending = true;
  monitor_state.reset_ticks_left = 7;
  sim_set_midi_counts(1, 2);
  InterfaceHeader notice = make_interface_header(KSCATEGORY_AUDIO);
  deliver(DBT_DEVICEARRIVAL, as_header(notice));
  EXPECT_FALSE(monitor_state.check_pending);
  EXPECT_TRUE(monitor_state.reset_pending);
  EXPECT_EQ(monitor_state.reset_ticks_left, RESET_DELAY_TICKS);
}

namespace {

// An output arrives while the host thread retrieves messages inside a host call.
void plug_an_output_and_retrieve_messages() {
  sim_plug_device(SIM_MIDI_OUTPUT, KSCATEGORY_AUDIO);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
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

class ResetDuringHostCommand : public DeviceChangeTest {
 protected:
  // Runs the tick in which a pending reset falls due, with a host that meets a new device inside
  // one of its calls; with logging on, the immediate check of that device schedules a new reset.
  void run_due_reset_with(HostObserver host) {
    settle_with_window(1, 1, true);
    host_observe(host);
    monitor_state.reset_pending = true;
    monitor_state.reset_ticks_left = 1;
    on_timer_tick();
    ASSERT_EQ(host_commands().size(), 1u);
    EXPECT_EQ(monitor_state.last_out_count, 2);
    EXPECT_TRUE(monitor_state.reset_pending);
    EXPECT_EQ(monitor_state.reset_ticks_left, RESET_DELAY_TICKS);
  }
};

TEST_F(ResetDuringHostCommand, ResetScheduledWhileTheConsoleAnnouncesItSurvives) {
  run_due_reset_with(console_meeting_a_new_device);
}

TEST_F(ResetDuringHostCommand, ResetScheduledInsideTheCommandSurvivesIt) {
  run_due_reset_with(command_meeting_a_new_device);
  EXPECT_EQ(host_console().back(), "Kestrune: [RESET_COMPLETE] Windows delayed reset completed\n");

  run_ticks(RESET_DELAY_TICKS);
  EXPECT_EQ(host_commands().size(), 2u);
}
