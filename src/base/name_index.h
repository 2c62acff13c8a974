// An index by name over one of the program's constant tables (tags,
// attributes, entities): built once, on first use, then only read, from any
// thread. Open addressing over a power-of-two array of 16-bit row numbers,
// with an FNV-1a hash of the name: a lookup hashes a few bytes and compares
// one or two names, with no division and no allocation, and the index of
// the 2,000 entities takes 8 KiB (memory a run touches costs it a page
// fault per 4 KiB, as much as thousands of instructions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

namespace varnel {

// FNV-1a over `bytes`, going on from `h` (so that several names can be
// hashed as one).
constexpr uint64_t fnv1a(std::string_view bytes, uint64_t h = 14695981039346656037ull) {
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

// Rows are named by `NameOf`, a function of a row; a lambda (rather than a
// function pointer) is called inline on every probe.
template <typename Row, typename NameOf = std::string_view (*)(const Row&)> class NameIndex {
  public:
    // Which row a name listed more than once stands for.
    enum class Repeats : uint8_t { FirstWins, LastWins };

    NameIndex(const Row* rows, size_t count, NameOf name_of, Repeats repeats)
        : rows_(rows), name_of_(name_of) {
        if (count >= Empty) throw std::bad_array_new_length();
        size_t size = 16;
        while (size < count + count / 2 + 1)
            size *= 2;
        slots_.assign(size, Empty);
        for (size_t r = 0; r < count; ++r) {
            uint16_t& slot = slots_[slot_of(name_of_(rows_[r]))];
            if (slot == Empty || repeats == Repeats::LastWins) slot = static_cast<uint16_t>(r);
        }
    }

    // The row listed under `name`, or null.
    const Row* find(std::string_view name) const {
        const uint16_t slot = slots_[slot_of(name)];
        return slot == Empty ? nullptr : &rows_[slot];
    }

  private:
    static constexpr uint16_t Empty = 0xFFFF;

    static size_t hash(std::string_view name) {
        const uint64_t h = fnv1a(name);
        return static_cast<size_t>(h ^ (h >> 32));
    }

    // The slot that holds `name`, or the free slot where it would go.
    size_t slot_of(std::string_view name) const {
        const size_t mask = slots_.size() - 1;
        size_t i = hash(name) & mask;
        while (slots_[i] != Empty && !same(name_of_(rows_[slots_[i]]), name))
            i = (i + 1) & mask;
        return i;
    }

    // Names are short: a loop costs less than a call of memcmp.
    static bool same(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t k = 0; k < a.size(); ++k) {
            if (a[k] != b[k]) return false;
        }
        return true;
    }

    const Row* rows_;
    NameOf name_of_;
    std::vector<uint16_t> slots_;
};

} // namespace varnel
