// An array of plain records grown with the system's realloc: a long one is
// moved by the system's pages where it can be, not copied at each doubling
// as std::vector's would be. Running out of memory is a value (false).
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "platform/platform.h"

template <typename T>
class GrowingArray {
    static_assert(std::is_trivially_copyable_v<T>, "its items are moved as bytes");

public:
    GrowingArray() = default;
    GrowingArray(const GrowingArray&) = delete;
    GrowingArray& operator=(const GrowingArray&) = delete;
    GrowingArray(GrowingArray&& other) noexcept { *this = std::move(other); }
    GrowingArray& operator=(GrowingArray&& other) noexcept {
        std::swap(items_, other.items_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    ~GrowingArray() { platform::release(items_); }

    std::size_t size() const { return size_; }
    T* data() { return items_; }
    T& operator[](std::size_t i) { return items_[i]; }
    const T& operator[](std::size_t i) const { return items_[i]; }

    // Adds `item` at the end; false when memory runs out.
    bool push_back(const T& item) {
        if (size_ == capacity_ && !reserve(capacity_ ? 2 * capacity_ : 64)) return false;
        items_[size_++] = item;
        return true;
    }
    // Cuts the array to `n` items, or grows it with zeroed ones; false when
    // memory runs out.
    bool resize(std::size_t n) {
        if (n > capacity_ && !reserve(n)) return false;
        if (n > size_) std::memset(static_cast<void*>(items_ + size_), 0, (n - size_) * sizeof(T));
        size_ = n;
        return true;
    }

private:
    bool reserve(std::size_t n) {
        void* grown = platform::reallocate(items_, n * sizeof(T));
        if (!grown) return false;
        items_ = static_cast<T*>(grown);
        capacity_ = n;
        return true;
    }

    T* items_ = nullptr;
    std::size_t size_ = 0, capacity_ = 0;
};
