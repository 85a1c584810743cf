// One row of the table scripts/bench.sh prints: the figure, its value and how it was measured,
// separated by tabs, so that the rows of every benchmark program line up in one table.
#pragma once

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
void bench_row(const char* figure, const char* how, const char* value_format, ...);
