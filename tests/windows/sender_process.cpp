#include "tests/windows/sender_process.h"

#include <string>

#include "tests/windows/device_messages.h"
#include "tests/windows/dll_host.h"

namespace {

// Generous: a cold Wine process takes a second or two to start.
constexpr DWORD SENDER_PROCESS_TIMEOUT_MS = 30000;

}  // namespace

bool start_sender_process(const wchar_t* arguments, PROCESS_INFORMATION* process) {
  std::wstring command = L"\"" + path_beside_program(L"kestrune_device_sender.exe") + L"\" " +
                         std::to_wstring(GetCurrentProcessId()) + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, process) != FALSE;
}

SenderDelivery deliver_in_one_tick(PROCESS_INFORMATION* process) {
  SenderDelivery delivery{false, false, 1};
  delivery.pending = wait_for_sent_message(process->hProcess, SENDER_PROCESS_TIMEOUT_MS);
  if (delivery.pending) {
    host_call_tick();
  }
  delivery.finished =
      WaitForSingleObject(process->hProcess, SENDER_PROCESS_TIMEOUT_MS) == WAIT_OBJECT_0;
  GetExitCodeProcess(process->hProcess, &delivery.exit_code);
  if (!delivery.finished) {
    TerminateProcess(process->hProcess, 1);
  }
  CloseHandle(process->hThread);
  CloseHandle(process->hProcess);
  return delivery;
}
