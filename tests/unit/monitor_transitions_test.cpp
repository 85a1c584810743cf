// One step of a settled plug-in, from a given state, as the rules give it (or an event and the
// tick that meets it): the monitor before and after, the counts it read meanwhile and the
// commands it ran. A notice is sent from the
// window's own thread so that it is handled at once, its header in a heap block of exactly its
// size (a read past it is caught) or in memory that must not be read at all.
#include <ostream>
#include <string>

#include "monitor/monitor_state.h"
#include "tests/unit/test_host.h"

namespace {

struct Transition {
  const char* name;
  bool diagnostic;
  MonitorSnapshot before;
  unsigned inputs;  // the machine's counts during the step
  unsigned outputs;
  const char* step;  // a scenario line
  MonitorSnapshot after;
  int reads;
  int commands;
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
    {"SettlingTick", false, settling(UNREAD, 2), 2, 3, "tick", settling(UNREAD, 1), 0, 0},
    {"SettlingReadsTheBaselineInItsLastTick", false, settling(UNREAD, 1), 2, 3, "tick",
     settled(2, 3), 2, 0},
    {"SettlingAlonePausesAVerificationAndAReset", false,
     settling(resetting(verifying(IDLE, 1), 1), 1), 1, 1, "tick", resetting(verifying(IDLE, 1), 1),
     2, 0},
    {"VerificationPausesAPendingReset", false, resetting(verifying(IDLE, 3), 10), 1, 1, "tick",
     resetting(verifying(IDLE, 2), 10), 0, 0},
    // The verification tick schedules the reset but does not count it down.
    {"VerificationSeesAChange", false, verifying(IDLE, 1), 2, 1, "tick",
     resetting(settled(2, 1), 20), 2, 0},
    {"OppositeChangesAreAChange", false, verifying(settled(2, 2), 1), 3, 1, "tick",
     resetting(settled(3, 1), 20), 2, 0},
    {"OutputChangeAloneIsAChange", false, verifying(settled(2, 2), 1), 2, 3, "tick",
     resetting(settled(2, 3), 20), 2, 0},
    {"VerificationWithoutChangeStartsTheLooks", false, verifying(IDLE, 1), 1, 1, "tick",
     looking(IDLE, 13, false), 2, 0},
    {"RemovedPortIsAResetWithEqualCounts", false, removed_port(verifying(IDLE, 1)), 1, 1, "tick",
     resetting(IDLE, 20), 2, 0},
    {"VerificationWithoutABaselineAdoptsOneOverAPendingReset", false,
     resetting(verifying(settled(UNSET_COUNT, 1), 1), 7), 5, 1, "tick", resetting(settled(5, 1), 7),
     2, 0},
    {"SecondLookWithoutChange", false, looking(IDLE, 1, false), 1, 1, "tick",
     looking(IDLE, 62, true), 2, 0},
    {"LastLookWithoutChange", false, looking(IDLE, 1, true), 1, 1, "tick", IDLE, 2, 0},
    {"LookSeesAChange", false, looking(IDLE, 1, true), 2, 1, "tick", resetting(settled(2, 1), 20),
     2, 0},
    {"LookAndResetCountDownTogether", false, resetting(looking(IDLE, 5, false), 9), 1, 1, "tick",
     resetting(looking(IDLE, 4, false), 8), 0, 0},
    {"LookWithoutChangeLetsTheResetDueInItsTickRun", false, resetting(looking(IDLE, 1, false), 1),
     1, 1, "tick", looking(IDLE, 62, true), 2, 1},
    {"LookWithAChangeRestartsTheResetDueInItsTick", false, resetting(looking(IDLE, 1, false), 1), 2,
     1, "tick", resetting(settled(2, 1), 20), 2, 0},
    {"ResetRuns", false, resetting(IDLE, 1), 1, 1, "tick", IDLE, 0, 1},
    // A port that arrived without moving the counts: only the last look resets for it, as a look
    // that sees a change does.
    {"VerificationAfterAnArrivedPortStartsTheLooks", false, arrived_port(verifying(IDLE, 1)), 1, 1,
     "tick", arrived_port(looking(IDLE, 13, false)), 2, 0},
    {"SecondLookAfterAnArrivedPortWaitsForTheLast", false, arrived_port(looking(IDLE, 1, false)), 1,
     1, "tick", arrived_port(looking(IDLE, 62, true)), 2, 0},
    {"LastLookAfterAnArrivedPortResets", false, arrived_port(resetting(looking(IDLE, 1, true), 1)),
     1, 1, "tick", resetting(IDLE, 20), 2, 0},
    // A second or more between two ticks: a verification as for a notice in the tick's drain.
    {"StallOfASecond", false, IDLE, 1, 1, "stall 967\ntick", verifying(IDLE, 4), 0, 0},
    {"GapJustUnderASecond", false, IDLE, 1, 1, "stall 966\ntick", IDLE, 0, 0},
    {"StallLosesItsNoticeAndVerifiesInItsPlace", false, looking(IDLE, 40, true), 2, 1,
     "stall 2000 notify arrival\ntick", verifying(IDLE, 4), 0, 0},
    {"StallOverAPendingReset", false, resetting(IDLE, 7), 1, 1, "stall 3000\ntick",
     resetting(verifying(IDLE, 4), 7), 0, 0},
    {"StallWhileAVerificationIsPending", false, verifying(IDLE, 3), 1, 1, "stall 3000\ntick",
     verifying(IDLE, 2), 0, 0},
    {"StallWhileSettling", false, settling(UNREAD, 5), 1, 1, "stall 3000\ntick",
     settling(UNREAD, 4), 0, 0},
    {"StallWithANoticeInTheTicksDrain", true, IDLE, 2, 1, "stall 1500 notify arrival\ntick",
     resetting(settled(2, 1), 19), 2, 0},
    {"StallSeenByTheImmediateCheck", true, IDLE, 2, 1, "stall 3000\ntick",
     resetting(settled(2, 1), 19), 2, 0},
    // A resume from sleep: verified as a notice is, and reset for whatever the counts say.
    {"ResumeSchedulesAVerification", false, IDLE, 1, 1, "power resume\ntick",
     resumed(verifying(IDLE, 4)), 0, 0},
    {"VerificationAfterAResumeResets", false, resumed(verifying(IDLE, 1)), 1, 1, "tick",
     resetting(IDLE, 20), 2, 0},
    {"ResumeWhileAVerificationIsPending", false, verifying(IDLE, 3), 1, 1, "power resume\ntick",
     resumed(verifying(IDLE, 2)), 0, 0},
    {"ResumeWhileSettling", true, settling(UNREAD, 5), 1, 1, "power resume\ntick",
     settling(UNREAD, 4), 0, 0},
    {"OtherPowerEventsChangeNothing", true, IDLE, 2, 1,
     "power suspend\npower code 0x7\npower code 0xA\ntick", IDLE, 0, 0},

    // ---- Notices, dropped, and the header read no further than its tests need.
    {"NoticeInTheLastTickOfSettlingIsDropped", false, settling(UNREAD, 1), 1, 1,
     "notify arrival now", settling(UNREAD, 1), 0, 0},
    {"EveryEventWhileSettlingIsDroppedUnread", true, settling(UNREAD, 80), 1, 1,
     "notify arrival poisoned now\nnotify removal poisoned now\nnotify code 7 poisoned now",
     settling(UNREAD, 80), 0, 0},
    {"OtherEventTypesAreDroppedUnread", true, IDLE, 1, 1, "notify code 7 poisoned now", IDLE, 0, 0},
    {"CodesCompareAtFullWidth", true, IDLE, 1, 1, "notify code 0x100008000 poisoned now", IDLE, 0,
     0},
    {"ArrivalWithoutHeader", true, IDLE, 1, 1, "notify arrival none now", IDLE, 0, 0},
    {"RemovalWithoutHeader", true, IDLE, 1, 1, "notify removal none now", IDLE, 0, 0},
    {"TwelveByteHeaderIsNotReadPastItsEnd", true, IDLE, 1, 1, "notify arrival short now", IDLE, 0,
     0},
    {"DeviceTypeUnreadWhenTheSizeFallsShortOfIt", true, IDLE, 1, 1,
     "notify removal bytes 04000000 now", IDLE, 0, 0},
    {"AnotherDeviceTypeIsDroppedBeforeItsClass", true, IDLE, 1, 1,
     "notify arrival audio size 12 type 2 now", IDLE, 0, 0},
    {"HeaderOfEightBytes", true, IDLE, 1, 1, "notify arrival audio size 8 now", IDLE, 0, 0},
    {"HeaderOneByteShortOfItsClass", true, IDLE, 1, 1, "notify arrival audio size 27 now", IDLE, 0,
     0},
    {"InterfaceOfAnotherClass", true, IDLE, 1, 1, "notify arrival other now", IDLE, 0, 0},
    {"ClassThatDiffersFromAudioInItsLastByte", true, IDLE, 1, 1, ALMOST_AUDIO, IDLE, 0, 0},
    // Accepted: the audio classes and the MIDI port classes, read no further than the class.
    {"AudioClass", false, IDLE, 1, 1, "notify arrival audio now", verifying(IDLE, 5), 0, 0},
    {"RenderClass", false, IDLE, 1, 1, "notify arrival render now", verifying(IDLE, 5), 0, 0},
    {"CaptureClass", false, IDLE, 1, 1, "notify arrival capture now", verifying(IDLE, 5), 0, 0},
    {"MidiInputPortClass", false, IDLE, 1, 1, "notify arrival midi-in now",
     arrived_port(verifying(IDLE, 5)), 0, 0},
    {"MidiOutputPortClass", false, IDLE, 1, 1, "notify arrival midi-out now",
     arrived_port(verifying(IDLE, 5)), 0, 0},
    {"HeaderOfExactly28Bytes", false, IDLE, 1, 1, "notify arrival audio size 28 now",
     verifying(IDLE, 5), 0, 0},
    // Only a MIDI port's arrival or removal is remembered: an audio interface may be a headset's.
    {"RemovalOfAnAudioInterface", false, IDLE, 1, 1, "notify removal capture now",
     verifying(IDLE, 5), 0, 0},
    {"RemovalOfAMidiPort", false, IDLE, 1, 1, "notify removal midi-in now",
     removed_port(verifying(IDLE, 5)), 0, 0},
    // While a verification is pending nothing restarts it; a port's arrival or removal is still
    // remembered for it, whatever else is pending.
    {"NoticeWhileAVerificationIsPending", true, verifying(IDLE, 2), 2, 1, "notify arrival now",
     verifying(IDLE, 2), 0, 0},
    {"AudioRemovalWhileAVerificationIsPending", false, verifying(IDLE, 2), 1, 1,
     "notify removal audio now", verifying(IDLE, 2), 0, 0},
    {"PortArrivalWhileAVerificationIsPending", false, verifying(IDLE, 2), 1, 1,
     "notify arrival midi-in now", arrived_port(verifying(IDLE, 2)), 0, 0},
    {"PortRemovalWhileAVerificationIsPending", false, verifying(IDLE, 2), 1, 1,
     "notify removal midi-in now", removed_port(verifying(IDLE, 2)), 0, 0},
    {"PortRemovalWhileAVerificationIsPendingOverAReset", false, resetting(verifying(IDLE, 2), 9), 1,
     1, "notify removal midi-out now", removed_port(resetting(verifying(IDLE, 2), 9)), 0, 0},
    // Over a pending reset a notice schedules its verification and leaves the reset as it was.
    {"NoticeOverAPendingReset", false, resetting(IDLE, 7), 2, 1, "notify arrival now",
     resetting(verifying(IDLE, 5), 7), 0, 0},
    // A notice ends the looks of the one before and brings its own verification.
    {"NoticeWhileLooksWait", false, looking(IDLE, 40, true), 1, 1, "notify arrival now",
     verifying(IDLE, 5), 0, 0},
    // The diagnostic build's immediate check: a change seen at once schedules the reset at once,
    // restarting a pending one, and takes care of a removed port; no change falls back to the
    // verification.
    {"ImmediateCheckSeesAChange", true, IDLE, 2, 1, "notify arrival now",
     resetting(settled(2, 1), 20), 2, 0},
    {"ImmediateCheckRestartsAPendingReset", true, resetting(IDLE, 7), 1, 2, "notify arrival now",
     resetting(settled(1, 2), 20), 2, 0},
    {"ImmediateResetForARemovedPort", true, settled(2, 1), 1, 1, "notify removal midi-in now",
     resetting(IDLE, 20), 2, 0},
    {"ImmediateCheckWithoutChange", true, IDLE, 1, 1, "notify arrival now", verifying(IDLE, 5), 2,
     0},
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
