// The fault watch that the sessions in child processes rely on: it counts an access violation in
// a window procedure handling a message sent from another thread, which Wine hides, and not the
// C++ exceptions (0xE06D7363) that system DLLs raise and handle as they work.
#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "sim/notice_sender.h"
#include "sim/plugin_module.h"
#include "tests/windows/fault_watch.h"

namespace {

LONG CALLBACK continue_cxx_exception(EXCEPTION_POINTERS* exception) {
  return exception->ExceptionRecord->ExceptionCode == 0xE06D7363 ? EXCEPTION_CONTINUE_EXECUTION
                                                                 : EXCEPTION_CONTINUE_SEARCH;
}

// Reserved and never committed. Not the null page: under Wine run as root, as on these machines,
// a write there goes through.
int* volatile inaccessible;

LRESULT CALLBACK write_to_inaccessible(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (message == WM_DEVICECHANGE) {
    *inaccessible = 1;
  }
  return DefWindowProcW(window, message, first, second);
}

// 0 once the fault was counted as an access violation, 1 if it was not, 2 if it could not be set
// up.
int fault_in_a_message_sent_from_another_thread() {
  inaccessible = static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS));
  HWND window =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&write_to_inaccessible));
  DeviceChangeSender sender{nullptr, window, DBT_DEVNODES_CHANGED, {}};
  if (inaccessible == nullptr || window == nullptr || !watch_for_faults() ||
      !send_from_another_thread(&sender) || !join_sender(&sender)) {
    return 2;
  }
  DWORD first_code = 0;
  return faults_seen(&first_code) == 1 && first_code == EXCEPTION_ACCESS_VIOLATION ? 0 : 1;
}

}  // namespace

// Continued by a handler called after the watch, as a system DLL's own handler would be.
TEST(FaultWatch, ContinuedCxxExceptionIsNotCounted) {
  ASSERT_TRUE(watch_for_faults());
  PVOID continuing = AddVectoredExceptionHandler(0, continue_cxx_exception);
  RaiseException(0xE06D7363, 0, 0, nullptr);
  RemoveVectoredExceptionHandler(continuing);
  DWORD first_code = 0;
  EXPECT_EQ(faults_seen(&first_code), 0) << "first with exception 0x" << std::hex << first_code;
  stop_watching_for_faults();
}

// Wine catches the fault and carries on. Windows may end the process instead, or hand the fault
// to the test's own handlers, which is seen too: only a fault gone unnoticed (1) fails there.
TEST(FaultWatch, FaultInAProcedureOfAMessageSentFromAnotherThreadIsCounted) {
  int status = -1;
  auto seen = [&status](int exit_code) {
    status = exit_code;
    return exit_code == 0 || (!running_under_wine() && exit_code != 1 && exit_code != 2);
  };
  EXPECT_EXIT(std::exit(fault_in_a_message_sent_from_another_thread()), seen, "");
  std::printf("first-run: fault in a procedure of a message sent from another thread: %s (0x%x)\n",
              status == 0 ? "counted, and the process went on" : "the process ended",
              static_cast<unsigned>(status));
}
