#pragma once
// A sequence with a movable gap: inserting or removing at a position moves
// only the elements between that position and the gap. Moving an entry one
// place up or down, again and again, costs next to nothing however long the
// list is; the first change far from the last one moves the elements once.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

namespace qf {

template <class T>
class GapVector {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    std::size_t size() const { return slots_.size() - gapLength(); }
    bool empty() const { return size() == 0; }
    std::size_t capacity() const { return slots_.size(); }

    const T& operator[](std::size_t i) const { return slots_[i < gapStart_ ? i : i + gapLength()]; }
    T& operator[](std::size_t i) { return slots_[i < gapStart_ ? i : i + gapLength()]; }

    void insert(std::size_t position, const T& value) {
        makeRoom(1);
        moveGapTo(position);
        slots_[gapStart_++] = value;
    }

    void erase(std::size_t position) {
        moveGapTo(position);
        ++gapEnd_;
    }

    // Appends the values; into an empty sequence they are taken over as they
    // stand, spare capacity included.
    void append(std::vector<T>&& values) {
        if (empty()) {
            const std::size_t count = values.size();
            slots_ = std::move(values);
            slots_.resize(slots_.capacity());
            gapStart_ = count;
            gapEnd_ = slots_.size();
            return;
        }
        makeRoom(values.size());
        moveGapTo(size());
        std::copy(values.begin(), values.end(), slots_.begin() + static_cast<std::ptrdiff_t>(gapStart_));
        gapStart_ += values.size();
    }

    // Makes room for more elements without moving any afterwards.
    void reserve(std::size_t more) { makeRoom(more); }

    // Keeps the elements for which keep(element, index) is true, in order.
    template <class Keep>
    void keepIf(Keep keep) {
        moveGapTo(size());
        std::size_t kept = 0;
        const std::size_t n = size();
        for (std::size_t i = 0; i < n; ++i)
            if (keep(slots_[i], i)) slots_[kept++] = slots_[i];
        gapStart_ = kept;
        gapEnd_ = slots_.size();
    }

    void clear() {
        slots_ = {};
        gapStart_ = gapEnd_ = 0;
    }

private:
    std::size_t gapLength() const { return gapEnd_ - gapStart_; }

    void moveGapTo(std::size_t position) {
        if (position < gapStart_) {
            const std::size_t n = gapStart_ - position;
            std::memmove(&slots_[gapEnd_ - n], &slots_[position], n * sizeof(T));
            gapStart_ -= n;
            gapEnd_ -= n;
        } else if (position > gapStart_) {
            const std::size_t n = position - gapStart_;
            std::memmove(&slots_[gapStart_], &slots_[gapEnd_], n * sizeof(T));
            gapStart_ += n;
            gapEnd_ += n;
        }
    }

    void makeRoom(std::size_t more) {
        if (gapLength() >= more) return;
        const std::size_t back = slots_.size() - gapEnd_;
        const std::size_t grown = std::max({slots_.size() * 2, size() + more, std::size_t{16}});
        std::vector<T> fresh(grown);
        std::copy(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(gapStart_), fresh.begin());
        std::copy(slots_.end() - static_cast<std::ptrdiff_t>(back), slots_.end(),
                  fresh.end() - static_cast<std::ptrdiff_t>(back));
        slots_ = std::move(fresh);
        gapEnd_ = slots_.size() - back;
    }

    std::vector<T> slots_;
    std::size_t gapStart_ = 0;
    std::size_t gapEnd_ = 0;
};

}  // namespace qf
