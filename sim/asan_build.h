// Whether this test binary runs under AddressSanitizer: the tests that watch memory through it
// (poisoned headers, allocation hooks) skip without it.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define KESTRUNE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRUNE_TEST_ASAN 1
#endif
#endif
#ifndef KESTRUNE_TEST_ASAN
#define KESTRUNE_TEST_ASAN 0
#endif
