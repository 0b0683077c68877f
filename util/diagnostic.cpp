#include "util/diagnostic.h"

#include <algorithm>
#include <cstdint>

namespace trilette {

std::string quoted(std::string_view text)
{
    std::string out = "« ";
    for (char c : text)
        out += c == '@' ? ' ' : c;
    return out + " »";
}

const char *severityName(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return "erreur";
    case Severity::Warning:
        return "avertissement";
    case Severity::Note:
        break;
    }
    return "note";
}

std::string Diagnostic::format() const
{
    std::string text = file;
    if (line > 0) {
        text += ':' + std::to_string(line);
        if (column > 0)
            text += ':' + std::to_string(column);
    }
    text.append(": ").append(severityName(severity)).append(": ").append(message);
    return text;
}

bool Diagnostic::operator==(const Diagnostic &other) const
{
    return severity == other.severity && file == other.file && line == other.line
        && column == other.column && message == other.message;
}

void Diagnostics::add(Severity severity, std::string file, int line, int column,
                      std::string message)
{
    all_.push_back({severity, std::move(file), line, column, std::move(message)});
}

int Diagnostics::count(Severity severity) const
{
    return int(std::count_if(all_.begin(), all_.end(),
                             [&](const Diagnostic &d) { return d.severity == severity; }));
}

void Diagnostics::sortByLine()
{
    const auto key = [](const Diagnostic &d) {
        return std::make_pair(d.line == 0 ? INT32_MAX : d.line, d.column);
    };
    std::stable_sort(all_.begin(), all_.end(),
                     [&](const Diagnostic &a, const Diagnostic &b) { return key(a) < key(b); });
}

void Diagnostics::makeWarningsErrors()
{
    for (Diagnostic &d : all_) {
        if (d.severity == Severity::Warning) {
            d.severity = Severity::Error;
            d.message += " [--werror]";
        }
    }
}

void Diagnostics::append(const Diagnostics &other)
{
    all_.insert(all_.end(), other.all_.begin(), other.all_.end());
}

} // namespace trilette
