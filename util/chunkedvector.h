#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace trilette {

/// A sequence that grows by blocks: no element ever moves, and growing never copies the
/// elements nor leaves a doubled buffer half empty, so that large tables cost what they hold.
template<typename T, size_t BlockSize = 4096> class ChunkedVector
{
public:
    T &push_back(T value)
    {
        if (size_ % BlockSize == 0)
            blocks_.push_back(std::make_unique<T[]>(BlockSize));
        T &slot = blocks_.back()[size_ % BlockSize];
        slot = std::move(value);
        ++size_;
        return slot;
    }
    T &operator[](size_t index) { return blocks_[index / BlockSize][index % BlockSize]; }
    const T &operator[](size_t index) const
    {
        return blocks_[index / BlockSize][index % BlockSize];
    }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    template<typename Visit> void forEach(Visit visit) const
    {
        for (size_t i = 0; i < size_; ++i)
            visit((*this)[i]);
    }

private:
    std::vector<std::unique_ptr<T[]>> blocks_;
    size_t size_ = 0;
};

} // namespace trilette
