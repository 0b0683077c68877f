#pragma once

// Small random nets in Tina's .ndr text, the same text for the same seed, covering what a
// program must get right: every arc kind, shared input places, priorities, time intervals,
// predicates over Boolean and numeric inputs, outputs (named, shared, renamed), names that are no
// ST identifiers, transitions without input arcs.

#include <cstdint>
#include <string>

namespace trilette {

std::string randomNet(uint32_t seed);

} // namespace trilette
