// The plug-in's delays, counted in host ticks. Free of any platform header, so that the probe's
// own reckoning (its header lines, its watch's length) and the tests can count in them too.
#pragma once

#include <cstdint>

constexpr int32_t INIT_DELAY_TICKS = 90;
constexpr int32_t CHECK_DELAY_TICKS = 5;
constexpr int32_t RESET_DELAY_TICKS = 20;
// Two more looks at the counts after a verification that saw no change, counted from the notice
// as the verification is: a slow driver, a busy MIDI service or a virtual-port driver may count
// its ports later, and no notice of their own need follow.
constexpr int32_t SECOND_LOOK_TICKS = 18;
constexpr int32_t LAST_LOOK_TICKS = 80;
// Each look comes after what precedes it in its series: its countdown starts where that one ends.
static_assert(CHECK_DELAY_TICKS < SECOND_LOOK_TICKS && SECOND_LOOK_TICKS < LAST_LOOK_TICKS,
              "the looks follow the verification, in order");

// The one thing the clock is read for. A gap this long between two ticks means the host's thread
// retrieved no message meanwhile, and a device notice sent then may be gone: Wine drops one its
// receiver has not taken within 2 s, Windows after a time it does not document. Hosts tick every
// 30 to 100 ms.
constexpr uint64_t STALL_MS = 1000;
