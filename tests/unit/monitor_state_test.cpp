#include "monitor/monitor_state.h"

#include "tests/unit/test_host.h"

// A pending verification is left for the tick to finish; the looks, which compare with a
// baseline about to be read afresh, and a reset, which belongs to devices the host is about to
// re-enumerate, are not.
TEST_F(MonitorTest, SettleAfterLoadKeepsARunningCountdownAndAVerificationOnly) {
  put_monitor_snapshot(looking(resetting(verifying(settled(4, 2), 2), 7), 40, true));
  begin_settle();
  monitor_state.init_ticks_left = 37;
  settle_after_load();
  MonitorSnapshot expected = verifying(settled(UNSET_COUNT, UNSET_COUNT), 2);
  expected.init_ticks_left = 37;
  EXPECT_EQ(monitor_snapshot(), expected);
}
