// Whether this build runs under AddressSanitizer: the poisoned headers and the allocation hooks
// that watch memory through it are there only with it, and the tests that use them skip without.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define KESTRUNE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRUNE_ASAN 1
#endif
#endif
#ifndef KESTRUNE_ASAN
#define KESTRUNE_ASAN 0
#endif
