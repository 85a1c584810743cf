#include "tests/windows/fault_watch.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

PVOID handler;
volatile LONG faults;
volatile DWORD first_fault_code;

unsigned char* pages;
DWORD page_size;
volatile LONG page_reads;
const unsigned char* volatile first_page_read;

// Faults of the code that runs, and no other exception: Windows' own DLLs throw and catch C++
// exceptions (0xE06D7363) and other software exceptions as they work, on threads of their own too.
constexpr DWORD HARDWARE_FAULTS[] = {EXCEPTION_ACCESS_VIOLATION,      EXCEPTION_IN_PAGE_ERROR,
                                     EXCEPTION_ILLEGAL_INSTRUCTION,   EXCEPTION_PRIV_INSTRUCTION,
                                     EXCEPTION_STACK_OVERFLOW,        EXCEPTION_INT_DIVIDE_BY_ZERO,
                                     EXCEPTION_DATATYPE_MISALIGNMENT, STATUS_HEAP_CORRUPTION};

unsigned char* inaccessible_page() {
  return pages + page_size;
}

// A read of the guarded page opens it, so that the faulting read completes and the test goes on
// to report it; anything else is counted and passed on.
LONG CALLBACK record_fault(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  auto* address = record->NumberParameters >= 2
                      ? reinterpret_cast<unsigned char*>(record->ExceptionInformation[1])
                      : nullptr;
  if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && pages != nullptr &&
      address >= inaccessible_page() && address < inaccessible_page() + page_size) {
    if (InterlockedIncrement(&page_reads) == 1) {
      first_page_read = address;
    }
    DWORD old_protection;
    VirtualProtect(inaccessible_page(), page_size, PAGE_READONLY, &old_protection);
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (std::find(std::begin(HARDWARE_FAULTS), std::end(HARDWARE_FAULTS), record->ExceptionCode) !=
          std::end(HARDWARE_FAULTS) &&
      InterlockedIncrement(&faults) == 1) {
    first_fault_code = record->ExceptionCode;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// A fault outside Wine's dispatch, in a message sent from this very thread, would otherwise start
// the debugger and hold the test until ctest's timeout.
LONG WINAPI end_on_unhandled_exception(EXCEPTION_POINTERS* exception) {
  std::fprintf(stderr, "unhandled exception 0x%lx at %p\n",
               exception->ExceptionRecord->ExceptionCode,
               exception->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

bool watch_for_faults() {
  faults = 0;
  first_fault_code = 0;
  SetUnhandledExceptionFilter(end_on_unhandled_exception);
  if (handler == nullptr) {
    handler = AddVectoredExceptionHandler(1, record_fault);
  }
  return handler != nullptr;
}

void stop_watching_for_faults() {
  if (handler != nullptr) {
    RemoveVectoredExceptionHandler(handler);
    handler = nullptr;
  }
  if (pages != nullptr) {
    VirtualFree(pages, 0, MEM_RELEASE);
    pages = nullptr;
  }
}

LONG faults_seen(DWORD* first_code) {
  *first_code = first_fault_code;
  return faults;
}

bool guarded_page_create() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  page_size = system.dwPageSize;
  page_reads = 0;
  first_page_read = nullptr;
  pages = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 2 * page_size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old_protection;
  return pages != nullptr &&
         VirtualProtect(inaccessible_page(), page_size, PAGE_NOACCESS, &old_protection) &&
         watch_for_faults();
}

unsigned char* guarded_page_tail(size_t size) {
  return inaccessible_page() - size;
}

const void* guarded_page_inaccessible() {
  return inaccessible_page();
}

int guarded_page_faults() {
  return page_reads;
}

ptrdiff_t guarded_page_first_fault_offset() {
  return first_page_read - inaccessible_page();
}
