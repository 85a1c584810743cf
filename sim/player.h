// Plays a scenario against the open world, leaving it open: ticks the host's timer, loads and
// unloads the plug-in, and sends notices to its window, writing each step into the transcript.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/scenario.h"

void play_scenario(const std::vector<ScenarioStep>& steps);

// The same a step at a time, for a test that looks between steps. A step returns the plug-in's
// answer: the entry's result for a load or unload, the procedure's for a notice sent "now", or 0.
void begin_playing();
int64_t play_step(const ScenarioStep& step);
