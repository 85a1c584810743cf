#include "sim/notice_sender.h"

#include "sim/host_double.h"

void forget_earlier_sent_messages() {
  GetQueueStatus(QS_SENDMESSAGE);
}

bool wait_for_sent_message(HANDLE sender, DWORD timeout_ms) {
  ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    // The low word holds what changed since the last call: a message that arrived, even behind
    // others still waiting.
    if ((LOWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0) {
      return true;
    }
    if (WaitForSingleObject(sender, 1) == WAIT_OBJECT_0) {
      return (LOWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
    }
    if (GetTickCount64() > deadline) {
      return false;
    }
  }
}

namespace {

DWORD WINAPI send_device_change(void* parameter) {
  DeviceChangeSender* sender = static_cast<DeviceChangeSender*>(parameter);
  LPARAM header = sender->header.empty() ? 0 : reinterpret_cast<LPARAM>(sender->header.data());
  UINT message = sender->message != 0 ? sender->message : WM_DEVICECHANGE;
  if (sender->timeout_ms == 0) {
    SendMessageW(sender->window, message, sender->event, header);
    sender->delivered = true;
    return 0;
  }
  DWORD_PTR result = 0;
  sender->delivered = SendMessageTimeoutW(sender->window, message, sender->event, header,
                                          SMTO_ABORTIFHUNG, sender->timeout_ms, &result) != 0;
  return 0;
}

}  // namespace

bool send_from_another_thread(DeviceChangeSender* sender) {
  forget_earlier_sent_messages();
  sender->thread = CreateThread(nullptr, 0, send_device_change, sender, 0, nullptr);
  if (sender->thread == nullptr) {
    return false;
  }
  return wait_for_sent_message(sender->thread, SENDER_TIMEOUT_MS);
}

bool sender_finished(const DeviceChangeSender& sender, DWORD timeout_ms) {
  return WaitForSingleObject(sender.thread, timeout_ms) == WAIT_OBJECT_0;
}

// A sender still blocked gets its message delivered here, so that it never outlives its caller.
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
