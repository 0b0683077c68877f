#pragma once

#include "st/words.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace trilette {

/// Names compared byte for byte.
struct ExactNames
{
    static uint32_t hash(std::string_view name)
    {
        // FNV-1a: short names hash in a few nanoseconds.
        uint32_t h = 2166136261u;
        for (char c : name)
            h = (h ^ uint8_t(c)) * 16777619u;
        return h;
    }
    static bool equal(std::string_view a, std::string_view b) { return a == b; }
};

/// Names compared as ST compares identifiers: without case (ASCII letters).
struct FoldedNames
{
    static uint32_t hash(std::string_view name)
    {
        uint32_t h = 2166136261u;
        for (char c : name)
            h = (h ^ uint8_t(upperAscii(c))) * 16777619u;
        return h;
    }
    static bool equal(std::string_view a, std::string_view b)
    {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (upperAscii(a[i]) != upperAscii(b[i]))
                return false;
        return true;
    }
};

/// Takes every id: an index where each name has one id.
struct AnyId
{
    bool operator()(uint32_t) const { return true; }
};

/// Index from names to the ids (0, 1, 2...) of the things they name, by open addressing in one
/// flat table of 8-byte slots (the hash and the id), at most three quarters full. The index keeps
/// no name: it asks `keyOf(id)` for the name of an id when it must compare, so that a large net is
/// indexed in a few bytes a name. Things of several kinds may share one index, their ids telling
/// the kind: a name then has at most one id of each kind, and `kind(id)` (true for the ids of the
/// kind wanted) picks one.
template<typename Names = ExactNames> class NameIndex
{
public:
    static constexpr uint32_t none = UINT32_MAX;

    /// The id given to `name` (among those that `kind` takes), or `none`.
    template<typename KeyOf, typename Kind = AnyId>
    uint32_t find(std::string_view name, KeyOf keyOf, Kind kind = {}) const
    {
        uint32_t found = none;
        forEach(name, keyOf, [&](uint32_t id) {
            if (!kind(id))
                return true;
            found = id;
            return false;
        });
        return found;
    }

    /// Calls `visit(id)` for each id given to `name`, until it returns false.
    template<typename KeyOf, typename Visit>
    void forEach(std::string_view name, KeyOf keyOf, Visit visit) const
    {
        if (slots_.empty())
            return;
        const uint32_t hash = Names::hash(name);
        for (size_t i = hash & mask(); slots_[i].id; i = (i + 1) & mask()) {
            if (slots_[i].hash == hash && Names::equal(keyOf(slots_[i].id - 1), name)
                && !visit(slots_[i].id - 1))
                return;
        }
    }

    /// Gives `name` the id `id` unless it has one (of the kind that `kind` takes, which must
    /// take `id`): returns the id it keeps, and whether it was added.
    template<typename KeyOf, typename Kind = AnyId>
    std::pair<uint32_t, bool> insert(std::string_view name, uint32_t id, KeyOf keyOf,
                                     Kind kind = {})
    {
        if (4 * (count_ + 1) > 3 * slots_.size())
            grow();
        const uint32_t hash = Names::hash(name);
        size_t i = hash & mask();
        for (; slots_[i].id; i = (i + 1) & mask()) {
            if (slots_[i].hash == hash && kind(slots_[i].id - 1)
                && Names::equal(keyOf(slots_[i].id - 1), name))
                return {slots_[i].id - 1, false};
        }
        slots_[i] = {hash, id + 1};
        ++count_;
        return {id, true};
    }

    size_t size() const { return count_; }

    /// Makes room for `count` names in all, so that adding them allocates nothing more.
    void reserve(size_t count)
    {
        size_t slotCount = slots_.empty() ? 64 : slots_.size();
        while (4 * count > 3 * slotCount)
            slotCount *= 2;
        if (slotCount > slots_.size())
            rehash(slotCount);
    }

private:
    struct Slot
    {
        uint32_t hash;
        /// The id plus one; 0 for an empty slot.
        uint32_t id;
    };

    size_t mask() const { return slots_.size() - 1; }

    void grow() { rehash(slots_.empty() ? 64 : 2 * slots_.size()); }

    void rehash(size_t slotCount)
    {
        std::vector<Slot> old(slotCount, Slot {0, 0});
        old.swap(slots_);
        for (const Slot &slot : old) {
            if (!slot.id)
                continue;
            size_t i = slot.hash & mask();
            while (slots_[i].id)
                i = (i + 1) & mask();
            slots_[i] = slot;
        }
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

} // namespace trilette
