// The simulated platform's call journal as names, so that a failed comparison says which calls
// were made instead of listing enum values.
#pragma once

#include <string>
#include <vector>

#include "platform/simulated/sim_control.h"

inline std::vector<std::string> journal_names() {
  std::vector<std::string> names;
  for (int i = 0; i < sim_journal_length(); ++i) {
    names.emplace_back(sim_call_name(sim_journal_entry(i)));
  }
  return names;
}
