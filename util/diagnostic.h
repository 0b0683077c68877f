#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// How grave a diagnostic is: an error stops the outputs of its net, a warning or a note does
/// not.
enum class Severity { Error, Warning, Note };

/// One problem met while reading, checking or writing a net, where the user can act on it: the
/// file, the line of the net (0 when it concerns the whole file) and the column (0 for none).
struct Diagnostic
{
    Severity severity = Severity::Error;
    std::string file;
    int line = 0;
    int column = 0;
    /// One French sentence, without the location and the severity.
    std::string message;

    /// "FILE:LINE:COLUMN: erreur: MESSAGE", the form compilers use, so that editors jump to the
    /// line; the line and the column are left out where there are none.
    std::string format() const;
    bool operator==(const Diagnostic &other) const;
};

/// A name or a text of the net between French quotes, in a message: « Data packet ». A name that
/// braces protected in the file shows its blanks again ('@' in the net's records).
std::string quoted(std::string_view text);

/// "erreur", "avertissement" or "note".
const char *severityName(Severity severity);

/// The diagnostics of one run, in the order they were met.
class Diagnostics
{
public:
    void add(Severity severity, std::string file, int line, int column, std::string message);
    void error(std::string file, std::string message)
    {
        add(Severity::Error, std::move(file), 0, 0, std::move(message));
    }

    const std::vector<Diagnostic> &all() const { return all_; }
    bool empty() const { return all_.empty(); }
    int count(Severity severity) const;
    bool hasErrors() const { return count(Severity::Error) > 0; }
    void append(const Diagnostics &other);
    /// Puts the diagnostics in the order of the lines they name, those about the whole file last,
    /// keeping the order they were found in otherwise.
    void sortByLine();
    /// Makes every warning an error, marked " [--werror]".
    void makeWarningsErrors();

private:
    std::vector<Diagnostic> all_;
};

} // namespace trilette
