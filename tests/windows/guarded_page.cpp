#include "tests/windows/guarded_page.h"

namespace {

unsigned char* pages;
DWORD page_size;
PVOID fault_handler;
volatile LONG fault_count;
const void* volatile first_fault;

unsigned char* inaccessible_page() {
  return pages + page_size;
}

// A vectored handler runs before any frame-based one, so it sees the fault even where a caller
// up the stack would catch it. The page is then opened, so the faulting read completes and the
// test goes on to report it.
LONG CALLBACK record_fault(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  auto* address = reinterpret_cast<unsigned char*>(record->ExceptionInformation[1]);
  if (pages == nullptr || address < inaccessible_page() ||
      address >= inaccessible_page() + page_size) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (InterlockedIncrement(&fault_count) == 1) {
    first_fault = address;
  }
  DWORD old_protection;
  VirtualProtect(inaccessible_page(), page_size, PAGE_READONLY, &old_protection);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool guarded_page_create() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  page_size = system.dwPageSize;
  pages = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 2 * page_size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (pages == nullptr) {
    return false;
  }
  DWORD old_protection;
  if (!VirtualProtect(inaccessible_page(), page_size, PAGE_NOACCESS, &old_protection)) {
    guarded_page_release();
    return false;
  }
  fault_count = 0;
  first_fault = nullptr;
  fault_handler = AddVectoredExceptionHandler(1, record_fault);
  return fault_handler != nullptr;
}

void guarded_page_release() {
  if (fault_handler != nullptr) {
    RemoveVectoredExceptionHandler(fault_handler);
    fault_handler = nullptr;
  }
  if (pages != nullptr) {
    VirtualFree(pages, 0, MEM_RELEASE);
    pages = nullptr;
  }
}

unsigned char* guarded_page_tail(size_t size) {
  return inaccessible_page() - size;
}

const void* guarded_page_inaccessible() {
  return inaccessible_page();
}

int guarded_page_faults() {
  return fault_count;
}

const void* guarded_page_first_fault() {
  return first_fault;
}
