#include "tests/windows/device_messages.h"

#include <string>

#include "sim/device_notice.h"
#include "sim/host_double.h"
#include "sim/plugin_module.h"
#include "sim/plugin_windows.h"

std::vector<unsigned char> interface_header(const GUID& interface_class) {
  DeviceNotice notice =
      wide_interface_notice(interface_class, L"\\\\?\\USB#VID_0000&PID_0000#MIDI");
  return std::vector<unsigned char>(notice.bytes, notice.bytes + notice.size);
}

bool start_sender_process(const wchar_t* arguments, PROCESS_INFORMATION* process) {
  std::wstring command = L"\"" + path_beside_program(L"kestrune_device_sender.exe") + L"\" " +
                         std::to_wstring(GetCurrentProcessId()) + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, process) != FALSE;
}

DWORD finish_sender_process(PROCESS_INFORMATION* process) {
  DWORD exit_code = 1;
  if (WaitForSingleObject(process->hProcess, SENDER_PROCESS_TIMEOUT_MS) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process->hProcess, &exit_code);
  } else {
    TerminateProcess(process->hProcess, 1);
  }
  CloseHandle(process->hThread);
  CloseHandle(process->hProcess);
  return exit_code;
}

const char* arrival_from_another_thread_in_one_tick() {
  DeviceChangeSender sender{nullptr, plugin_window(), DBT_DEVICEARRIVAL,
                            interface_header(KSCATEGORY_AUDIO)};
  if (sender.window == nullptr) {
    return "no plug-in window";
  }
  if (!send_from_another_thread(&sender)) {
    join_sender(&sender);
    return "the message never reached the queue";
  }
  // Nothing has retrieved messages yet, so the sender is still waiting for its result.
  const char* failure = sender_finished(sender, 0) ? "delivered before the tick" : nullptr;
  host_call_tick();
  if (failure == nullptr && !sender_finished(sender, SENDER_TIMEOUT_MS)) {
    failure = "the tick's drain did not deliver the message";
  }
  join_sender(&sender);
  return failure;
}

const char NOTICE_NEVER_ARRIVED[] = "the sender's message never reached this thread";

const char* arrival_from_another_process_in_one_tick() {
  PROCESS_INFORMATION process = {};
  forget_earlier_sent_messages();
  if (!start_sender_process(L"", &process)) {
    return "the sender process did not start";
  }
  bool pending = wait_for_sent_message(process.hProcess, SENDER_PROCESS_TIMEOUT_MS);
  if (pending) {
    host_call_tick();
  }
  DWORD exit_code = finish_sender_process(&process);
  if (!pending) {
    return NOTICE_NEVER_ARRIVED;
  }
  return exit_code == 0 ? nullptr : "the tick's drain did not deliver the sender's message";
}
