// The notifications of a device storm, in both worlds: a hub of many devices coming and going,
// mixed with everything else the system and other processes send under WM_DEVICECHANGE. The same
// seed gives the same storm, so two runs measure the same work.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"
#include "sim/world.h"

// A header of exactly dbch_size bytes (or fewer, for a header that claims more than it has).
using StormMessage = WorldNotice;

// Audio-class arrivals and removals, arrivals and removals of other classes, other event codes,
// headers too short for their type, volume headers and null headers.
std::vector<StormMessage> make_storm(int count, uint32_t seed);
