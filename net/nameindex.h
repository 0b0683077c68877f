#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace trilette {

/// Index from names to the first value given for each name, by open addressing in one flat
/// table (a power of two in size, at most half full), so that large nets are indexed without a
/// node allocation per name. The names are views: their text must outlive the index.
template<typename Value> class NameIndex
{
public:
    /// The value of `name`, or `absent`.
    Value find(std::string_view name, Value absent = Value()) const
    {
        if (slots_.empty())
            return absent;
        const size_t hash = std::hash<std::string_view>()(name);
        for (size_t i = hash & mask(); slots_[i].used; i = (i + 1) & mask()) {
            if (slots_[i].hash == hash && slots_[i].name == name)
                return slots_[i].value;
        }
        return absent;
    }

    /// Gives `name` the value `value` unless it has one: returns the value it keeps, and whether
    /// it was added.
    std::pair<Value, bool> insert(std::string_view name, Value value)
    {
        if (2 * (count_ + 1) > slots_.size())
            grow();
        const size_t hash = std::hash<std::string_view>()(name);
        size_t i = hash & mask();
        for (; slots_[i].used; i = (i + 1) & mask()) {
            if (slots_[i].hash == hash && slots_[i].name == name)
                return {slots_[i].value, false};
        }
        slots_[i] = {hash, name, value, true};
        ++count_;
        return {value, true};
    }

private:
    struct Slot
    {
        size_t hash = 0;
        std::string_view name;
        Value value = Value();
        bool used = false;
    };

    size_t mask() const { return slots_.size() - 1; }

    void grow()
    {
        std::vector<Slot> old(slots_.empty() ? 64 : 2 * slots_.size());
        old.swap(slots_);
        for (const Slot &slot : old) {
            if (!slot.used)
                continue;
            size_t i = slot.hash & mask();
            while (slots_[i].used)
                i = (i + 1) & mask();
            slots_[i] = slot;
        }
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

} // namespace trilette
