// A device notification that comes from another process, as the system's own do: the header is
// copied into this process and the message waits in the host thread's queue.
#include <windows.h>

#include <string>

#include "tests/windows/device_messages.h"
#include "tests/windows/plugin_test.h"

namespace {

bool start_sender_process(PROCESS_INFORMATION* process) {
  std::wstring command = L"\"" + path_beside_program(L"kestrune_device_sender.exe") + L"\" " +
                         std::to_wstring(GetCurrentProcessId());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, process) != FALSE;
}

}  // namespace

using CrossProcessDelivery = LoadedPluginTest;

TEST_F(CrossProcessDelivery, DeviceChangeFromAnotherProcessLeadsToTheReset) {
  settle(0, 0);
  winmm_double_set_counts(1, 0);

  PROCESS_INFORMATION process = {};
  forget_earlier_sent_messages();
  ASSERT_TRUE(start_sender_process(&process)) << "CreateProcessW failed: " << GetLastError();
  bool pending = wait_for_sent_message(process.hProcess, 30000);
  if (pending) {
    host_tick();
  }
  DWORD waited = WaitForSingleObject(process.hProcess, 30000);
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  if (waited != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ASSERT_TRUE(pending) << "the sender's message never reached this thread (exit code " << exit_code
                       << ")";
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the tick's drain did not deliver the message";
  ASSERT_EQ(exit_code, 0u);

  expect_reset_on_tick(NOTICE_TO_RESET_TICKS - 1);
}
