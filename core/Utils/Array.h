// Array: the framework's growable array. Its storage comes from the heap registry under the
// category the array carries, so the owner decides which heaps back it. Growth and reservation
// report a failed allocation by answering false and leave the array as it was; nothing raises.
// Arrays of file-layer strings (directory listings) and the pak archive's tables are built on it.
#pragma once

#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "core/memory/HeapRegistry.h"

// The category of storage an array does not own: it is never released nor grown by the array.
constexpr HeapCategory arrayNotOwned = static_cast<HeapCategory>(0x7FFFFFFFu);

template <typename T>
class Array {
public:
    explicit Array(HeapCategory category = HeapCategory::Engine) : category_(category) {}

    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;

    // Destroys the elements from the last to the first and gives the storage back, unless the
    // storage is not owned (category arrayNotOwned), in which case nothing happens.
    ~Array() {
        if (category_ == arrayNotOwned) {
            return;
        }
        destroyFrom(first_);
        heapRelease(first_);
    }

    std::uint32_t count() const { return static_cast<std::uint32_t>(last_ - first_); }
    std::uint32_t capacity() const { return static_cast<std::uint32_t>(limit_ - first_); }
    bool empty() const { return last_ == first_; }
    T& operator[](std::uint32_t index) { return first_[index]; }
    const T& operator[](std::uint32_t index) const { return first_[index]; }
    T* begin() { return first_; }
    T* end() { return last_; }
    const T* begin() const { return first_; }
    const T* end() const { return last_; }

    // Appends a copy (or, for the second form, the moved value) of element. A full array first
    // grows to c + c/2 + 1 elements for a count c. False when that storage cannot be had; the
    // array is then unchanged (and a moved-from element keeps its value).
    bool pushBack(const T& element) {
        if (last_ == limit_ && !grow()) {
            return false;
        }
        new (last_) T(element);
        ++last_;
        return true;
    }
    bool pushBack(T&& element) {
        if (last_ == limit_ && !grow()) {
            return false;
        }
        new (last_) T(std::move(element));
        ++last_;
        return true;
    }

    // Destroys the last element, if there is one.
    void popBack() {
        if (last_ == first_) {
            return;
        }
        --last_;
        last_->~T();
    }

    // Makes the capacity exactly n when n exceeds it: true. n equal to the capacity: true, nothing
    // changes. n of 0 or below the capacity: false, nothing changes. False also when the storage
    // cannot be had (or the array does not own its storage); the array is then unchanged.
    bool reserve(std::uint32_t n) {
        if (n == 0) {
            return false;
        }
        const std::uint32_t current = capacity();
        if (n == current) {
            return true;
        }
        if (n < current) {
            return false;
        }
        return relocate(n);
    }

    // Sets the count to n. Fewer elements: the surplus ones are destroyed and the storage is kept.
    // More: the capacity is first reserved to exactly n when it is short, and the new places are
    // filled with copies of fill. False when that reservation fails; the array is then unchanged.
    bool resize(std::uint32_t n, const T& fill) {
        const std::uint32_t current = count();
        if (n <= current) {
            destroyFrom(first_ + n);
            return true;
        }
        if (n > capacity() && !reserve(n)) {
            return false;
        }
        for (T* place = last_; place != first_ + n; ++place) {
            new (place) T(fill);
        }
        last_ = first_ + n;
        return true;
    }

    // Destroys the elements, gives the storage back and leaves the array empty with no storage.
    // Storage the array does not own is only let go of.
    void releaseStorage() {
        if (category_ != arrayNotOwned) {
            destroyFrom(first_);
            heapRelease(first_);
        }
        first_ = nullptr;
        last_ = nullptr;
        limit_ = nullptr;
    }

    T* first_ = nullptr;
    T* last_ = nullptr;
    T* limit_ = nullptr;
    HeapCategory category_;

private:
    bool grow() {
        const std::uint64_t c = count();
        const std::uint64_t grown = c + c / 2 + 1;
        if (grown > UINT32_MAX) {
            return false;
        }
        return relocate(static_cast<std::uint32_t>(grown));
    }

    // Moves the elements into fresh storage of n elements (n at least the count). The byte count
    // is computed in 64 bits: a request that does not fit the registry's 32-bit sizes fails
    // instead of wrapping to a small block.
    bool relocate(std::uint32_t n) {
        if (category_ == arrayNotOwned) {
            return false;
        }
        const std::uint64_t bytes = std::uint64_t{n} * sizeof(T);
        if (bytes > UINT32_MAX) {
            return false;
        }
        // Aligned for the element type: the elements of the string arrays hold pointers.
        T* storage = static_cast<T*>(heapAllocate(static_cast<std::uint32_t>(bytes), alignof(T), category_));
        if (storage == nullptr) {
            return false;
        }
        T* target = storage;
        for (T* element = first_; element != last_; ++element, ++target) {
            new (target) T(std::move(*element));
            element->~T();
        }
        heapRelease(first_);
        first_ = storage;
        last_ = target;
        limit_ = storage + n;
        return true;
    }

    // Destroys the elements from the last down to from, and makes from the new end.
    void destroyFrom(T* from) {
        while (last_ != from) {
            --last_;
            last_->~T();
        }
    }
};
