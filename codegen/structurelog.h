#pragma once

#include "net/net.h"
#include "util/textsink.h"

#include <string>

namespace trilette {

/// Renders the plain-text log of the net as it was read: every place with its marking, actions
/// and successor, every transition with its predicate, actions and arcs.
void renderStructureLog(const Place *places, const Transition *transitions, TextSink &out);

/// Creates or empties the log file at `path` (text mode) and writes what renderStructureLog
/// renders. When the file cannot be opened, prints "Erreur Ouverture du fichier Log" on `trace`.
/// True when the file was opened, written in full and closed without error.
bool writeStructureLog(const Place *places, const Transition *transitions, const std::string &path,
                       TextSink *trace);

} // namespace trilette
