// The reference model and the plug-in side by side, the oracle of the model test and the fuzzer:
// every step played on both, through velmar-sim's player, and what can be seen compared after it.
#pragma once

#include <string>
#include <vector>

#include "sim/scenario.h"
#include "tests/model/reference_model.h"

// A fresh module in a fresh process, and the model of it.
void start_lockstep(ModelState* model, bool diagnostic);

// Plays the step on both; empty when they agree, else what differs, a line a difference.
std::string step_in_lockstep(ModelState* model, const ScenarioStep& step);

// A session on which the plug-in departed from the model, as a scenario (what differed in comment
// lines, then the steps), written to KESTRUNE_COUNTEREXAMPLE or else `default_path`; returns it.
std::string write_counterexample(const char* default_path, bool diagnostic,
                                 const std::vector<std::string>& steps,
                                 const std::string& differences);
