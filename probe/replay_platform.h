// The reset monitor's platform when the probe replays a watch (monitor/monitor_platform.h): the
// counts are the record's at the replay's time, the clock is that time, and no window has
// messages, since the replay hands the monitor each notice itself.
#pragma once

#include "probe/watch_record.h"

void replay_platform_start(const WatchRecord* record);
void replay_platform_set_time(long long ms);
// The record's counts at that time.
PortCounts replay_counts_at(long long ms);
