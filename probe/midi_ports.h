// The WinMM MIDI ports as the host sees them: their counts, and their names when they change.
#pragma once

#include "platform/win32.h"

// Names beyond this many ports of a kind are not listed; the counts are always whole.
constexpr UINT MAX_LISTED_PORTS = 64;

struct MidiPorts {
  UINT inputs;
  UINT outputs;
  wchar_t input_names[MAX_LISTED_PORTS][MAXPNAMELEN];
  wchar_t output_names[MAX_LISTED_PORTS][MAXPNAMELEN];
};

// The two counts alone: what the plug-in's verification reads, and all the polling reads.
void read_port_counts(UINT* inputs, UINT* outputs);
// The counts and every port's name. A port that vanished between the count and its name is
// listed as "?".
void read_midi_ports(MidiPorts* ports);
// One line per port.
void print_midi_ports(const MidiPorts& ports);
// One line per port whose name appeared ("+") or went away ("-"), at the given time.
void print_port_changes(long long ms, const MidiPorts& before, const MidiPorts& after);
