// A device notification that comes from another process, as the system's own do: the header is
// copied into this process and the message waits in the host thread's queue.
#include <windows.h>

#include "tests/windows/device_messages.h"
#include "tests/windows/plugin_test.h"
#include "tests/windows/sender_process.h"

using CrossProcessDelivery = LoadedPluginTest;

TEST_F(CrossProcessDelivery, DeviceChangeFromAnotherProcessLeadsToTheReset) {
  settle(0, 0);
  winmm_double_set_counts(1, 0);

  PROCESS_INFORMATION process = {};
  forget_earlier_sent_messages();
  ASSERT_TRUE(start_sender_process(L"", &process)) << "CreateProcessW failed: " << GetLastError();
  SenderDelivery delivery = deliver_in_one_tick(&process);
  ASSERT_TRUE(delivery.pending) << "the sender's message never reached this thread (exit code "
                                << delivery.exit_code << ")";
  ASSERT_TRUE(delivery.finished) << "the tick's drain did not deliver the message";
  ASSERT_EQ(delivery.exit_code, 0u);

  expect_reset_on_tick(NOTICE_TO_RESET_TICKS - 1);
}
