// One step of a settled plug-in from a given state (or an event and the tick that meets it) as the
// rules give it: the monitor after, the counts read, the commands run. A notice sent "now" is
// handled at once, its header in a heap block of its size (a read past it is caught) or poisoned.
#include <ostream>
#include <string>

#include "monitor/monitor_state.h"
#include "tests/unit/test_host.h"

namespace {

struct Transition {
  const char* name;
  MonitorSnapshot before;
  unsigned inputs;  // the machine's counts during the step
  unsigned outputs;
  const char* step;  // a scenario line
  MonitorSnapshot after;
  int reads;
  int commands = 0;
  bool diagnostic = false;  // the build with the immediate check
};

void PrintTo(const Transition& transition, std::ostream* out) {
  *out << transition.name;
}

// What the monitor remembers for its next verification or last look.
template <bool MonitorSnapshot::*flag>
MonitorSnapshot remembering(MonitorSnapshot monitor) {
  monitor.*flag = true;
  return monitor;
}
constexpr auto removed_port = remembering<&MonitorSnapshot::port_removed>;
constexpr auto arrived_port = remembering<&MonitorSnapshot::port_arrived>;
constexpr auto resumed = remembering<&MonitorSnapshot::resumed>;

const MonitorSnapshot IDLE = settled(1, 1);
const MonitorSnapshot UNREAD = settled(UNSET_COUNT, UNSET_COUNT);
// The same GUID as the audio class but for its very last byte, in a 28-byte header.
const char ALMOST_AUDIO[] =
    "notify arrival bytes 1c000000050000000000000004ad9469ef93d011a3cc00a0c9223197 now";

const Transition TRANSITIONS[] = {
    // ---- Ticks: settling runs alone and reads the baseline in its last tick; a verification
    // pauses a pending reset, and the looks count down beside it.
    {"SettlingTick", settling(UNREAD, 2), 2, 3, "tick", settling(UNREAD, 1), 0},
    {"SettlingReadsTheBaselineInItsLastTick", settling(UNREAD, 1), 2, 3, "tick", settled(2, 3), 2},
    {"SettlingAlonePausesAVerificationAndAReset", settling(resetting(verifying(IDLE, 1), 1), 1), 1,
     1, "tick", resetting(verifying(IDLE, 1), 1), 2},
    {"VerificationPausesAPendingReset", resetting(verifying(IDLE, 3), 10), 1, 1, "tick",
     resetting(verifying(IDLE, 2), 10), 0},
    // The verification tick schedules the reset but does not count it down.
    {"VerificationSeesAChange", verifying(IDLE, 1), 2, 1, "tick", resetting(settled(2, 1), 20), 2},
    {"OppositeChangesAreAChange", verifying(settled(2, 2), 1), 3, 1, "tick",
     resetting(settled(3, 1), 20), 2},
    {"OutputChangeAloneIsAChange", verifying(settled(2, 2), 1), 2, 3, "tick",
     resetting(settled(2, 3), 20), 2},
    {"VerificationWithoutChangeStartsTheLooks", verifying(IDLE, 1), 1, 1, "tick",
     looking(IDLE, 13, false), 2},
    {"RemovedPortIsAResetWithEqualCounts", removed_port(verifying(IDLE, 1)), 1, 1, "tick",
     resetting(IDLE, 20), 2},
    {"VerificationWithoutABaselineAdoptsOneOverAPendingReset",
     resetting(verifying(settled(UNSET_COUNT, 1), 1), 7), 5, 1, "tick", resetting(settled(5, 1), 7),
     2},
    {"SecondLookWithoutChange", looking(IDLE, 1, false), 1, 1, "tick", looking(IDLE, 62, true), 2},
    {"LastLookWithoutChange", looking(IDLE, 1, true), 1, 1, "tick", IDLE, 2},
    {"LookSeesAChange", looking(IDLE, 1, true), 2, 1, "tick", resetting(settled(2, 1), 20), 2},
    {"LookAndResetCountDownTogether", resetting(looking(IDLE, 5, false), 9), 1, 1, "tick",
     resetting(looking(IDLE, 4, false), 8), 0},
    {"LookWithoutChangeLetsTheResetDueInItsTickRun", resetting(looking(IDLE, 1, false), 1), 1, 1,
     "tick", looking(IDLE, 62, true), 2, 1},
    {"LookWithAChangeRestartsTheResetDueInItsTick", resetting(looking(IDLE, 1, false), 1), 2, 1,
     "tick", resetting(settled(2, 1), 20), 2},
    {"ResetRuns", resetting(IDLE, 1), 1, 1, "tick", IDLE, 0, 1},
    // A port that arrived without moving the counts: only the last look resets for it, as a look
    // that sees a change does.
    {"VerificationAfterAnArrivedPortStartsTheLooks", arrived_port(verifying(IDLE, 1)), 1, 1, "tick",
     arrived_port(looking(IDLE, 13, false)), 2},
    {"SecondLookAfterAnArrivedPortWaitsForTheLast", arrived_port(looking(IDLE, 1, false)), 1, 1,
     "tick", arrived_port(looking(IDLE, 62, true)), 2},
    {"LastLookAfterAnArrivedPortResets", arrived_port(resetting(looking(IDLE, 1, true), 1)), 1, 1,
     "tick", resetting(IDLE, 20), 2},
    // A second or more between two ticks: a verification as for a notice in the tick's drain.
    {"StallOfASecond", IDLE, 1, 1, "stall 967\ntick", verifying(IDLE, 4), 0},
    {"GapJustUnderASecond", IDLE, 1, 1, "stall 966\ntick", IDLE, 0},
    {"StallLosesItsNoticeAndVerifiesInItsPlace", looking(IDLE, 40, true), 2, 1,
     "stall 2000 notify arrival\ntick", verifying(IDLE, 4), 0},
    {"StallOverAPendingReset", resetting(IDLE, 7), 1, 1, "stall 3000\ntick",
     resetting(verifying(IDLE, 4), 7), 0},
    {"StallWhileAVerificationIsPending", verifying(IDLE, 3), 1, 1, "stall 3000\ntick",
     verifying(IDLE, 2), 0},
    {"StallWhileSettling", settling(UNREAD, 5), 1, 1, "stall 3000\ntick", settling(UNREAD, 4), 0},
    {"StallWithANoticeInTheTicksDrain", IDLE, 2, 1, "stall 1500 notify arrival\ntick",
     resetting(settled(2, 1), 19), 2, 0, true},
    {"StallSeenByTheImmediateCheck", IDLE, 2, 1, "stall 3000\ntick", resetting(settled(2, 1), 19),
     2, 0, true},
    // A resume from sleep: verified as a notice is, and reset for whatever the counts say.
    {"ResumeSchedulesAVerification", IDLE, 1, 1, "power resume\ntick", resumed(verifying(IDLE, 4)),
     0},
    {"VerificationAfterAResumeResets", resumed(verifying(IDLE, 1)), 1, 1, "tick",
     resetting(IDLE, 20), 2},
    {"ResumeWhileAVerificationIsPending", verifying(IDLE, 3), 1, 1, "power resume\ntick",
     resumed(verifying(IDLE, 2)), 0},
    {"ResumeWhileSettling", settling(UNREAD, 5), 1, 1, "power resume\ntick", settling(UNREAD, 4), 0,
     0, true},
    {"OtherPowerEventsChangeNothing", IDLE, 2, 1,
     "power suspend\npower code 0x7\npower code 0xA\ntick", IDLE, 0, 0, true},

    // ---- Notices, dropped, and the header read no further than its tests need.
    {"NoticeInTheLastTickOfSettlingIsDropped", settling(UNREAD, 1), 1, 1, "notify arrival now",
     settling(UNREAD, 1), 0},
    {"EveryEventWhileSettlingIsDroppedUnread", settling(UNREAD, 80), 1, 1,
     "notify arrival poisoned now\nnotify removal poisoned now\nnotify code 7 poisoned now",
     settling(UNREAD, 80), 0, 0, true},
    {"OtherEventTypesAreDroppedUnread", IDLE, 1, 1, "notify code 7 poisoned now", IDLE, 0, 0, true},
    {"CodesCompareAtFullWidth", IDLE, 1, 1, "notify code 0x100008000 poisoned now", IDLE, 0, 0,
     true},
    {"ArrivalWithoutHeader", IDLE, 1, 1, "notify arrival none now", IDLE, 0, 0, true},
    {"RemovalWithoutHeader", IDLE, 1, 1, "notify removal none now", IDLE, 0, 0, true},
    {"TwelveByteHeaderIsNotReadPastItsEnd", IDLE, 1, 1, "notify arrival short now", IDLE, 0, 0,
     true},
    {"DeviceTypeUnreadWhenTheSizeFallsShortOfIt", IDLE, 1, 1, "notify removal bytes 04000000 now",
     IDLE, 0, 0, true},
    {"AnotherDeviceTypeIsDroppedBeforeItsClass", IDLE, 1, 1,
     "notify arrival audio size 12 type 2 now", IDLE, 0, 0, true},
    {"HeaderOfEightBytes", IDLE, 1, 1, "notify arrival audio size 8 now", IDLE, 0, 0, true},
    {"HeaderOneByteShortOfItsClass", IDLE, 1, 1, "notify arrival audio size 27 now", IDLE, 0, 0,
     true},
    {"InterfaceOfAnotherClass", IDLE, 1, 1, "notify arrival other now", IDLE, 0, 0, true},
    {"ClassThatDiffersFromAudioInItsLastByte", IDLE, 1, 1, ALMOST_AUDIO, IDLE, 0, 0, true},
    // Accepted: the audio classes and the MIDI port classes, read no further than the class.
    {"AudioClass", IDLE, 1, 1, "notify arrival audio now", verifying(IDLE, 5), 0},
    {"RenderClass", IDLE, 1, 1, "notify arrival render now", verifying(IDLE, 5), 0},
    {"CaptureClass", IDLE, 1, 1, "notify arrival capture now", verifying(IDLE, 5), 0},
    {"MidiInputPortClass", IDLE, 1, 1, "notify arrival midi-in now",
     arrived_port(verifying(IDLE, 5)), 0},
    {"MidiOutputPortClass", IDLE, 1, 1, "notify arrival midi-out now",
     arrived_port(verifying(IDLE, 5)), 0},
    {"HeaderOfExactly28Bytes", IDLE, 1, 1, "notify arrival audio size 28 now", verifying(IDLE, 5),
     0},
    // Only a MIDI port's arrival or removal is remembered: an audio interface may be a headset's.
    {"RemovalOfAnAudioInterface", IDLE, 1, 1, "notify removal capture now", verifying(IDLE, 5), 0},
    {"RemovalOfAMidiPort", IDLE, 1, 1, "notify removal midi-in now",
     removed_port(verifying(IDLE, 5)), 0},
    // While a verification is pending nothing restarts it; a port's arrival or removal is still
    // remembered for it, whatever else is pending.
    {"NoticeWhileAVerificationIsPending", verifying(IDLE, 2), 2, 1, "notify arrival now",
     verifying(IDLE, 2), 0, 0, true},
    {"AudioRemovalWhileAVerificationIsPending", verifying(IDLE, 2), 1, 1,
     "notify removal audio now", verifying(IDLE, 2), 0},
    {"PortArrivalWhileAVerificationIsPending", verifying(IDLE, 2), 1, 1,
     "notify arrival midi-in now", arrived_port(verifying(IDLE, 2)), 0},
    {"PortRemovalWhileAVerificationIsPending", verifying(IDLE, 2), 1, 1,
     "notify removal midi-in now", removed_port(verifying(IDLE, 2)), 0},
    {"PortRemovalWhileAVerificationIsPendingOverAReset", resetting(verifying(IDLE, 2), 9), 1, 1,
     "notify removal midi-out now", removed_port(resetting(verifying(IDLE, 2), 9)), 0},
    // Over a pending reset a notice schedules its verification and leaves the reset as it was.
    {"NoticeOverAPendingReset", resetting(IDLE, 7), 2, 1, "notify arrival now",
     resetting(verifying(IDLE, 5), 7), 0},
    // A notice ends the looks of the one before and brings its own verification.
    {"NoticeWhileLooksWait", looking(IDLE, 40, true), 1, 1, "notify arrival now",
     verifying(IDLE, 5), 0},
    // The diagnostic build's immediate check: a change seen at once schedules the reset at once,
    // restarting a pending one, and takes care of a removed port; no change falls back to the
    // verification.
    {"ImmediateCheckSeesAChange", IDLE, 2, 1, "notify arrival now", resetting(settled(2, 1), 20), 2,
     0, true},
    {"ImmediateCheckRestartsAPendingReset", resetting(IDLE, 7), 1, 2, "notify arrival now",
     resetting(settled(1, 2), 20), 2, 0, true},
    {"ImmediateResetForARemovedPort", settled(2, 1), 1, 1, "notify removal midi-in now",
     resetting(IDLE, 20), 2, 0, true},
    {"ImmediateCheckWithoutChange", IDLE, 1, 1, "notify arrival now", verifying(IDLE, 5), 2, 0,
     true},
};

}  // namespace

class MonitorTransition : public ::testing::TestWithParam<Transition> {};

TEST_P(MonitorTransition, LeavesTheMonitorAsTheRulesSay) {
  const Transition& transition = GetParam();
  settled_plugin(1, 1, transition.diagnostic);
  put_monitor_snapshot(transition.before);
  sim_set_midi_counts(transition.inputs, transition.outputs);
  play_line(transition.step);
  EXPECT_EQ(monitor_snapshot(), transition.after);
  EXPECT_EQ(count_reads(), transition.reads);
  EXPECT_EQ(host_command_count(), transition.commands);
  EXPECT_EQ(host_malformed_line_count() + host_unexpected_command_count(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, MonitorTransition, ::testing::ValuesIn(TRANSITIONS), RowName());
