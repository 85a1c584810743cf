// The verdicts in words, one line each, for the report and for tests in either world.
#pragma once

#include <cstddef>
#include <cstdint>

#include "probe/watch_verdict.h"

// One verdict, without the time of the line.
void verdict_text(const Verdict& verdict, char* out, size_t out_size);
// Whether the plug-in would reset the host at all, and when first.
void verdict_summary(const Verdict* verdicts, int count, int32_t tick_ms, char* out,
                     size_t out_size);
