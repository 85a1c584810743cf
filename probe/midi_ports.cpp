#include "probe/midi_ports.h"

#include <cstring>
#include <cwchar>

#include "probe/probe_output.h"

namespace {

void name_or_unknown(MMRESULT result, const wchar_t* name, wchar_t* out) {
  if (result == MMSYSERR_NOERROR) {
    std::wcsncpy(out, name, MAXPNAMELEN - 1);
    out[MAXPNAMELEN - 1] = L'\0';
  } else {
    std::wcscpy(out, L"?");
  }
}

UINT listed(UINT count) {
  return count < MAX_LISTED_PORTS ? count : MAX_LISTED_PORTS;
}

void print_port(long long ms, const char* mark, const char* kind, const wchar_t* name) {
  char text[4 * MAXPNAMELEN];
  utf8_of(name, MAXPNAMELEN, text, sizeof text);
  if (ms < 0) {
    probe_line("  %s %-3s \"%s\"", mark, kind, text);
  } else {
    probe_timed_line(ms, "  %s %-3s \"%s\"", mark, kind, text);
  }
}

// Two identical devices have identical names, so each name of one list is matched with at most
// one of the other.
void print_unmatched(long long ms, const char* mark, const char* kind,
                     const wchar_t (*names)[MAXPNAMELEN], UINT count,
                     const wchar_t (*others)[MAXPNAMELEN], UINT other_count) {
  bool matched[MAX_LISTED_PORTS] = {};
  for (UINT i = 0; i < count; ++i) {
    bool found = false;
    for (UINT j = 0; j < other_count && !found; ++j) {
      if (!matched[j] && std::wcscmp(names[i], others[j]) == 0) {
        matched[j] = true;
        found = true;
      }
    }
    if (!found) {
      print_port(ms, mark, kind, names[i]);
    }
  }
}

}  // namespace

void read_port_counts(UINT* inputs, UINT* outputs) {
  *inputs = midiInGetNumDevs();
  *outputs = midiOutGetNumDevs();
}

void read_midi_ports(MidiPorts* ports) {
  read_port_counts(&ports->inputs, &ports->outputs);
  for (UINT i = 0; i < listed(ports->inputs); ++i) {
    MIDIINCAPSW caps = {};
    name_or_unknown(midiInGetDevCapsW(i, &caps, sizeof caps), caps.szPname, ports->input_names[i]);
  }
  for (UINT i = 0; i < listed(ports->outputs); ++i) {
    MIDIOUTCAPSW caps = {};
    name_or_unknown(midiOutGetDevCapsW(i, &caps, sizeof caps), caps.szPname,
                    ports->output_names[i]);
  }
}

void print_midi_ports(const MidiPorts& ports) {
  for (UINT i = 0; i < listed(ports.inputs); ++i) {
    print_port(-1, " ", "in", ports.input_names[i]);
  }
  for (UINT i = 0; i < listed(ports.outputs); ++i) {
    print_port(-1, " ", "out", ports.output_names[i]);
  }
}

void print_port_changes(long long ms, const MidiPorts& before, const MidiPorts& after) {
  print_unmatched(ms, "-", "in", before.input_names, listed(before.inputs), after.input_names,
                  listed(after.inputs));
  print_unmatched(ms, "+", "in", after.input_names, listed(after.inputs), before.input_names,
                  listed(before.inputs));
  print_unmatched(ms, "-", "out", before.output_names, listed(before.outputs), after.output_names,
                  listed(after.outputs));
  print_unmatched(ms, "+", "out", after.output_names, listed(after.outputs), before.output_names,
                  listed(before.outputs));
}
