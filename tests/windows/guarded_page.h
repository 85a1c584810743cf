// Memory that shows whether code reads past where it was told data ends: a readable page followed
// by an inaccessible one. A read of the inaccessible page is recorded rather than fatal, so that a
// test fails with a message instead of taking the whole test program down, and so that a fault
// inside a window procedure cannot go unseen even if the message dispatch swallows it.
#pragma once

#include <windows.h>

#include <cstddef>

// Reserves the two pages and starts recording; false if the system refused.
bool guarded_page_create();
void guarded_page_release();

// `size` bytes that end exactly where the inaccessible page begins.
unsigned char* guarded_page_tail(size_t size);
// The first byte of the inaccessible page: a pointer that must never be followed.
const void* guarded_page_inaccessible();

// Reads of the inaccessible page since the pages were created, and the first address read.
int guarded_page_faults();
const void* guarded_page_first_fault();
