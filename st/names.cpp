#include "st/names.h"

#include "st/words.h"

#include <algorithm>

namespace trilette {

void Namer::reserve(std::string_view identifier, std::string what)
{
    taken_.emplace(upperCase(identifier), std::move(what));
}

std::string Namer::give(std::string_view original, std::string_view prefix,
                        std::initializer_list<std::string_view> suffixes, const std::string &what,
                        int line, int column)
{
    const std::string base = makeIdentifier(original, prefix);
    std::string reason;
    if (base != original)
        reason = quoted(original) + " n'est pas un identificateur ST valide";
    std::string candidate = base;
    for (int k = 2;; ++k) {
        const std::string *clash = nullptr;
        std::string reserved;
        for (std::string_view suffix : suffixes) {
            const std::string spelling = candidate + std::string(suffix);
            const std::string key = upperCase(spelling);
            if (isReservedWord(key)) {
                if (reserved.empty())
                    reserved = spelling;
            } else if (auto it = taken_.find(key); it != taken_.end()) {
                clash = &it->second;
            }
        }
        if (reserved.empty() && !clash)
            break;
        if (reason.empty())
            reason = !reserved.empty()
                ? quoted(reserved) + " est un mot réservé du ST"
                : quoted(original) + " se confond en ST, où la casse ne compte pas, avec " + *clash;
        candidate = base + "_" + std::to_string(k);
    }
    for (std::string_view suffix : suffixes)
        taken_.emplace(upperCase(candidate + std::string(suffix)), what);
    if (!reason.empty()) {
        std::string written;
        for (std::string_view suffix : suffixes)
            written += (written.empty() ? "" : " et ") + quoted(candidate + std::string(suffix));
        diagnostics_.add(Severity::Note, file_, line, column,
                         reason + " : " + what + " s'écrit " + written);
    }
    return candidate;
}

void Namer::error(int line, int column, std::string message)
{
    diagnostics_.add(Severity::Error, file_, line, column, std::move(message));
}

std::string stSpellingFault(std::string_view spelling)
{
    spelling.remove_prefix(std::min(spelling.find_first_not_of(' '), spelling.size()));
    spelling.remove_suffix(spelling.size() - (spelling.find_last_not_of(' ') + 1));
    if (!isStIdentifier(spelling))
        return quoted(spelling) + " n'est pas un identificateur ST";
    if (isReservedWord(spelling))
        return quoted(spelling) + " est un mot réservé du ST";
    return {};
}

} // namespace trilette
