#pragma once

#include "net/net.h"

#include <string>

namespace trilette {

/// Compact one-line-per-record text form of a net, for tests and debugging: places, transitions,
/// then priority arcs ("R higher>lower") and dropped arcs ("D source>target").
std::string dumpNet(const Net &net);

} // namespace trilette
