// Faults a test would otherwise not see: Wine ignores one in a window procedure that handles a
// sent message, and Windows may too or end the process. A vectored handler sees each first and
// counts it; it handles none but the reads of a guarded page, which it records and lets complete,
// so that a test reports a read past where data ends instead of being taken down by it.
#pragma once

#include <windows.h>

#include <cstddef>

// Counts every hardware fault in the process from now on (an access violation, a bad instruction, a
// division by zero, a stack overflow, heap corruption) but no software exception; false if the
// handler could not be installed. An unhandled fault ends the process at once, with no debugger.
bool watch_for_faults();
void stop_watching_for_faults();
// The faults counted since watch_for_faults(), guarded-page reads aside, and the first one's code.
LONG faults_seen(DWORD* first_code);

// A readable page followed by an inaccessible one, watched; false if the system refused. Freed by
// stop_watching_for_faults().
bool guarded_page_create();
// `size` bytes that end exactly where the inaccessible page begins.
unsigned char* guarded_page_tail(size_t size);
// The first byte of the inaccessible page: a pointer that must never be followed.
const void* guarded_page_inaccessible();
// Reads of the inaccessible page since its creation, and the first one's offset into it.
int guarded_page_faults();
ptrdiff_t guarded_page_first_fault_offset();
