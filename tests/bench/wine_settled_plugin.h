// The real kestrune.dll loaded from beside the benchmark program and settled, with one MIDI input
// and one output on the winmm test double.
#pragma once

bool load_and_settle();
