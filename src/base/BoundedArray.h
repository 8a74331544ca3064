// An array with explicit index bounds that tests every index against them.
// Like the demo's growable arrays it may be unallocated (no bounds at all);
// copying copies the elements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Errors.h"

template <class T>
class BoundedArray {
public:
    explicit BoundedArray(const char* name) : name_(name) {}
    BoundedArray(const char* name, int32_t lower, int32_t upper) : name_(name) { Redim(lower, upper); }

    // Allocates bounds lower..upper with default values; earlier contents are dropped.
    void Redim(int32_t lower, int32_t upper) {
        if (upper < lower - 1) {
            throw BoundsError(std::string(name_) + ": invalid bounds " + std::to_string(lower) + " to " +
                              std::to_string(upper));
        }
        lower_ = lower;
        data_.assign(static_cast<size_t>(int64_t(upper) - lower + 1), T{});
        allocated_ = true;
    }

    // Changes the upper bound keeping the elements that stay in range.
    void RedimPreserve(int32_t upper) {
        if (!allocated_) {
            Redim(0, upper);
            return;
        }
        if (upper < lower_ - 1) {
            throw BoundsError(std::string(name_) + ": invalid upper bound " + std::to_string(upper));
        }
        data_.resize(static_cast<size_t>(int64_t(upper) - lower_ + 1));
    }

    void Erase() {
        data_.clear();
        allocated_ = false;
        lower_ = 0;
    }

    bool Allocated() const { return allocated_; }

    int32_t LBound() const {
        RequireAllocated();
        return lower_;
    }
    int32_t UBound() const {
        RequireAllocated();
        return lower_ + static_cast<int32_t>(data_.size()) - 1;
    }
    size_t Count() const { return data_.size(); }

    T& operator[](int32_t index) { return data_[Offset(index)]; }
    const T& operator[](int32_t index) const { return data_[Offset(index)]; }

    typename std::vector<T>::iterator begin() { return data_.begin(); }
    typename std::vector<T>::iterator end() { return data_.end(); }
    typename std::vector<T>::const_iterator begin() const { return data_.begin(); }
    typename std::vector<T>::const_iterator end() const { return data_.end(); }

    const char* Name() const { return name_; }

private:
    void RequireAllocated() const {
        if (!allocated_) throw BoundsError(std::string(name_) + ": array has no elements");
    }
    size_t Offset(int32_t index) const {
        const int64_t offset = int64_t(index) - lower_;
        if (!allocated_ || offset < 0 || offset >= static_cast<int64_t>(data_.size())) {
            throw BoundsError(std::string(name_) + ": index " + std::to_string(index) + " out of range");
        }
        return static_cast<size_t>(offset);
    }

    const char* name_;
    int32_t lower_ = 0;
    std::vector<T> data_;
    bool allocated_ = false;
};
