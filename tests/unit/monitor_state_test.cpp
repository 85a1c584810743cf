#include "monitor/monitor_state.h"

#include "monitor/timer_tick.h"
#include "tests/unit/test_host.h"

TEST_F(MonitorTest, SettleAfterLoadKeepsARunningCountdownAndClearsAPendingReset) {
  monitor_state.reset_pending = true;
  monitor_state.reset_ticks_left = 7;
  monitor_state.check_pending = true;
  monitor_state.check_ticks_left = 2;
  begin_settle();
  settle_after_load();
  EXPECT_EQ(monitor_state.init_ticks_left, INIT_DELAY_TICKS);
  EXPECT_EQ(monitor_state.last_in_count, UNSET_COUNT);
  EXPECT_EQ(monitor_state.last_out_count, UNSET_COUNT);
  EXPECT_FALSE(monitor_state.reset_pending);
  EXPECT_EQ(monitor_state.reset_ticks_left, 0);
  // A pending verification is left for the tick to finish.
  EXPECT_TRUE(monitor_state.check_pending);
  EXPECT_EQ(monitor_state.check_ticks_left, 2);
}
