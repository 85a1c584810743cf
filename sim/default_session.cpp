#include "sim/default_session.h"

const char DEFAULT_SESSION_NAME[] = "<default session>";

// A MIDI input is plugged in once the plug-in has settled, and pulled out again once the host
// has been reset for it: each time the host's reset command follows 25 ticks after the device
// event (5 until the counts are verified, 20 more until the reset).
const char DEFAULT_SESSION[] =
    "load\n"
    "tick 100   # settles in 90 ticks, then reads its baseline\n"
    "plug input\n"
    "tick 30\n"
    "unplug input\n"
    "tick 30\n"
    "unload\n";
