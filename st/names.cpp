#include "st/names.h"

#include "st/words.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace trilette {

namespace {

/// The head of a name's record: the lengths of its name and description, and its use; the name
/// and the description follow.
struct RecordHead
{
    uint32_t nameLength, whatLength;
    GivenAs use;
};
constexpr size_t headSize = 2 * sizeof(uint32_t) + 1;

RecordHead head(const std::string &records, uint32_t id)
{
    RecordHead h;
    std::memcpy(&h.nameLength, records.data() + id, sizeof h.nameLength);
    std::memcpy(&h.whatLength, records.data() + id + sizeof h.nameLength, sizeof h.whatLength);
    h.use = GivenAs(records[id + headSize - 1]);
    return h;
}

} // namespace

std::string_view Namer::name(uint32_t id) const
{
    return std::string_view(records_).substr(id + headSize, head(records_, id).nameLength);
}

std::string_view Namer::what(uint32_t id) const
{
    const RecordHead h = head(records_, id);
    return std::string_view(records_).substr(id + headSize + h.nameLength, h.whatLength);
}

GivenAs Namer::use(uint32_t id) const
{
    return head(records_, id).use;
}

uint32_t Namer::holder(std::string_view identifier) const
{
    const auto nameOf = [&](uint32_t id) { return name(id); };
    const uint32_t id = index_.find(identifier, nameOf,
                                    [&](uint32_t i) { return use(i) == GivenAs::Identifier; });
    if (id != NameIndex<>::none || identifier.empty())
        return id;
    const char last = upperAscii(identifier.back());
    if (last != 'P' && last != 'S')
        return NameIndex<>::none;
    return index_.find(identifier.substr(0, identifier.size() - 1), nameOf,
                       [&](uint32_t i) { return use(i) == GivenAs::PlaceStem; });
}

/// Records a name given (the first of a name and use keeps it); its id is where its record
/// starts.
void Namer::add(std::string_view name, GivenAs use, std::string_view what)
{
    const size_t at = records_.size();
    if (at + headSize + name.size() + what.size() >= NameIndex<>::none)
        throw std::bad_alloc();
    const uint32_t lengths[] = {uint32_t(name.size()), uint32_t(what.size())};
    records_.append(reinterpret_cast<const char *>(lengths), sizeof lengths);
    records_.push_back(char(use));
    records_.append(name);
    records_.append(what);
    const auto [id, added] = index_.insert(
        name, uint32_t(at), [&](uint32_t i) { return this->name(i); },
        [&](uint32_t i) { return this->use(i) == use; });
    if (!added)
        records_.resize(at);
}

void Namer::expect(size_t count, size_t textBytes)
{
    records_.reserve(records_.size() + count * headSize + textBytes);
    index_.reserve(index_.size() + count);
}

void Namer::reserve(std::string_view identifier, std::string_view what)
{
    add(identifier, GivenAs::Identifier, what);
}

std::string Namer::give(std::string_view original, std::string_view prefix, GivenAs use,
                        const std::string &what, int line, int column)
{
    static constexpr std::string_view placeSuffixes[] = {"p", "s"}, noSuffix[] = {""};
    const std::string_view *suffixes = use == GivenAs::PlaceStem ? placeSuffixes : noSuffix;
    const size_t suffixCount = use == GivenAs::PlaceStem ? 2 : 1;

    const std::string base = makeIdentifier(original, prefix);
    std::string reason;
    if (base != original)
        reason = quoted(original) + " n'est pas un identificateur ST valide";
    const std::string numbered = char(use) + upperCase(base);
    std::string candidate = base;
    int k = 1;
    for (;; ++k) {
        if (k == 2)
            if (const auto it = nextNumber_.find(numbered); it != nextNumber_.end())
                k = it->second;
        if (k > 1)
            candidate = base + "_" + std::to_string(k);
        uint32_t clash = NameIndex<>::none;
        std::string reserved;
        for (size_t i = 0; i < suffixCount; ++i) {
            const std::string spelling = candidate + std::string(suffixes[i]);
            if (isReservedWord(spelling)) {
                if (reserved.empty())
                    reserved = spelling;
            } else if (const uint32_t id = holder(spelling); id != NameIndex<>::none) {
                clash = id;
            }
        }
        if (reserved.empty() && clash == NameIndex<>::none)
            break;
        if (reason.empty())
            reason = !reserved.empty()
                ? quoted(reserved) + " est un mot réservé du ST"
                : quoted(original) + " se confond en ST, où la casse ne compte pas, avec "
                    + std::string(this->what(clash));
    }
    if (k > 2)
        nextNumber_[numbered] = k + 1;
    add(candidate, use, what);
    if (!reason.empty()) {
        std::string written;
        for (size_t i = 0; i < suffixCount; ++i)
            written
                += (written.empty() ? "" : " et ") + quoted(candidate + std::string(suffixes[i]));
        diagnostics_.add(Severity::Note, file_, line, column,
                         reason + " : " + what + " s'écrit " + written);
    }
    return candidate;
}

void Namer::error(int line, int column, std::string message)
{
    diagnostics_.add(Severity::Error, file_, line, column, std::move(message));
}

namespace {

/// Calls `visit` with each key of `identifier` (see ClashKeys): the identifier, and the
/// identifier less a final P or S and then less a final "_" and digits. (Two names meet when a
/// spelling the rule may give one, B, B_2, B_3... and for a place each followed by p or s, may
/// also be the other's; then the longer identifier is the shorter followed by "_" and digits,
/// by a p or an s, or by both. The longer's second key is then the shorter, or, where the
/// shorter itself ends in "_" and digits, the shorter less that end: its own second key.)
template<typename Visit> void forEachClashKey(std::string_view identifier, Visit visit)
{
    std::string_view key = identifier;
    if (!key.empty() && (upperAscii(key.back()) == 'P' || upperAscii(key.back()) == 'S'))
        key.remove_suffix(1);
    size_t end = key.size();
    while (end > 0 && isDigit(key[end - 1]))
        --end;
    if (end < key.size() && end > 0 && key[end - 1] == '_')
        key = key.substr(0, end - 1);
    visit(identifier);
    visit(key);
}

} // namespace

ClashKeys ClashKeys::everything()
{
    ClashKeys keys;
    keys.everything_ = true;
    return keys;
}

std::string_view ClashKeys::key(uint32_t id) const
{
    return std::string_view(text_).substr(keys_[id].first, keys_[id].second);
}

bool ClashKeys::meets(std::string_view identifier) const
{
    bool met = everything_;
    forEachClashKey(identifier, [&](std::string_view k) {
        met = met || index_.find(k, [&](uint32_t i) { return key(i); }) != NameIndex<>::none;
    });
    return met;
}

bool ClashKeys::add(std::string_view identifier)
{
    bool added = false;
    forEachClashKey(identifier, [&](std::string_view k) {
        if (index_.insert(k, uint32_t(keys_.size()), [&](uint32_t i) { return key(i); }).second) {
            keys_.emplace_back(text_.size(), uint32_t(k.size()));
            text_.append(k);
            added = true;
        }
    });
    return added;
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
