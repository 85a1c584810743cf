// The Windows version, as the system itself reports it.
#pragma once

// "major.minor.build"; "unknown" when it cannot be read.
void windows_version(char* out, int out_size);
