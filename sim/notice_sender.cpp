#include "sim/notice_sender.h"

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

bool send_waiting(HWND window, UINT message, WPARAM first, const void* second, UINT flags,
                  DWORD timeout_ms) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, message, first, reinterpret_cast<LPARAM>(second), flags,
                             timeout_ms, &result) != 0;
}

namespace {

// Whether a message was sent to this thread since the last look: GetQueueStatus's low word holds
// what changed since then, even behind messages still waiting. It only looks, delivering nothing.
bool sent_since_last_look() {
  return (LOWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
}

// True once a message sent after the last look waits in this thread's queue; false if `sender`
// (a thread or process) ends first or the time runs out.
bool wait_for_sent_message(HANDLE sender, DWORD timeout_ms) {
  ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    if (sent_since_last_look()) {
      return true;
    }
    if (WaitForSingleObject(sender, 1) == WAIT_OBJECT_0) {
      return sent_since_last_look();
    }
    if (GetTickCount64() > deadline) {
      return false;
    }
  }
}

DWORD WINAPI send_device_change(void* parameter) {
  DeviceChangeSender* sender = static_cast<DeviceChangeSender*>(parameter);
  const void* header = sender->header.empty() ? nullptr : sender->header.data();
  UINT message = sender->message != 0 ? sender->message : WM_DEVICECHANGE;
  if (sender->timeout_ms == 0) {
    SendMessageW(sender->window, message, sender->event, reinterpret_cast<LPARAM>(header));
    sender->delivered = true;
  } else {
    sender->delivered = send_waiting(sender->window, message, sender->event, header,
                                     SMTO_ABORTIFHUNG, sender->timeout_ms);
  }
  return 0;
}

}  // namespace

bool send_from_another_thread(DeviceChangeSender* sender) {
  sent_since_last_look();  // forgets earlier sends: the wait sees only this one
  sender->thread = CreateThread(nullptr, 0, send_device_change, sender, 0, nullptr);
  if (sender->thread == nullptr) {
    return false;
  }
  return wait_for_sent_message(sender->thread, SENDER_TIMEOUT_MS);
}

bool sender_finished(const DeviceChangeSender& sender, DWORD timeout_ms) {
  return WaitForSingleObject(sender.thread, timeout_ms) == WAIT_OBJECT_0;
}

bool join_sender(DeviceChangeSender* sender) {
  if (sender->thread == nullptr) {
    return true;
  }
  if (!deliver_until_ended(sender->thread, SENDER_TIMEOUT_MS, deliver_sent_messages)) {
    return false;
  }
  CloseHandle(sender->thread);
  sender->thread = nullptr;
  return true;
}

void deliver_sent_messages() {
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
}

// Input available, not only input new since the last look: a wait for a message to be queued
// may have looked at it already.
bool deliver_until_ended(HANDLE sender, DWORD timeout_ms, void (*retrieve)()) {
  ULONGLONG deadline = GetTickCount64() + timeout_ms;
  DWORD woken;
  do {
    retrieve();
    woken = MsgWaitForMultipleObjectsEx(1, &sender, HOST_TICK_PERIOD_MS, QS_SENDMESSAGE,
                                        MWMO_INPUTAVAILABLE);
  } while (woken == WAIT_OBJECT_0 + 1 || (woken == WAIT_TIMEOUT && GetTickCount64() < deadline));
  return woken == WAIT_OBJECT_0;
}

bool start_sender_process(const wchar_t* arguments, PROCESS_INFORMATION* process) {
  STARTUPINFOW startup = {};
  return start_beside_program(L"kestrune_device_sender.exe",
                              L" " + std::to_wstring(GetCurrentProcessId()) + arguments, &startup,
                              process);
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
  sent_since_last_look();  // forgets earlier sends
  if (!start_sender_process(L"", &process)) {
    return "the sender process did not start";
  }
  bool pending = wait_for_sent_message(process.hProcess, SENDER_PROCESS_TIMEOUT_MS);
  if (pending) {
    host_call_tick();
  }
  DWORD exit_code = finish_program(&process, SENDER_PROCESS_TIMEOUT_MS);
  if (!pending) {
    return NOTICE_NEVER_ARRIVED;
  }
  return exit_code == 0 ? nullptr : "the tick's drain did not deliver the sender's message";
}
