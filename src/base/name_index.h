// An index by name over one of the program's constant tables (tags,
// attributes, entities): built once, on first use, then only read, from any
// thread. Open addressing over a power-of-two array of 16-bit row numbers:
// a lookup hashes a key made of the name's bytes and compares one or two
// keys, with no division and no allocation, and the index of the 2,000
// entities takes 8 KiB of slots and 18 KiB of keys (memory a run touches
// costs it a page fault per 4 KiB, as much as thousands of instructions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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
//
// A name is known by a 64-bit key taken from its bytes (all of them for a
// name of up to eight bytes, which most names are; the first and last four
// of a longer one): the key is hashed with one multiplication, and a probe
// compares keys and sizes, and whole names only when they are longer.
template <typename Row, typename NameOf = std::string_view (*)(const Row&)> class NameIndex {
  public:
    // Which row a name listed more than once stands for.
    enum class Repeats : uint8_t { FirstWins, LastWins };

    NameIndex(const Row* rows, size_t count, NameOf name_of, Repeats repeats)
        : rows_(rows), name_of_(name_of) {
        if (count >= Empty) throw std::bad_array_new_length();
        size_t size = 16;
        shift_ = 60;
        while (size < count + count / 2 + 1) {
            size *= 2;
            --shift_;
        }
        slots_.assign(size, Empty);
        keys_.resize(count);
        for (size_t r = 0; r < count; ++r) {
            const std::string_view name = name_of_(rows_[r]);
            keys_[r] = key_of(name);
            uint16_t& slot = slots_[slot_of(name, keys_[r])];
            if (slot == Empty || repeats == Repeats::LastWins) slot = static_cast<uint16_t>(r);
        }
    }

    // The row listed under `name`, or null.
    const Row* find(std::string_view name) const {
        const uint16_t slot = slots_[slot_of(name, key_of(name))];
        return slot == Empty ? nullptr : &rows_[slot];
    }

  private:
    static constexpr uint16_t Empty = 0xFFFF;

    static uint64_t key_of(std::string_view name) {
        const auto* p = reinterpret_cast<const unsigned char*>(name.data());
        const size_t n = name.size();
        if (n >= 4) {
            uint32_t first;
            uint32_t last;
            std::memcpy(&first, p, sizeof first);
            std::memcpy(&last, p + n - 4, sizeof last);
            return (uint64_t{last} << 32) | first;
        }
        if (n == 0) return 0;
        return p[0] | (uint64_t{p[n / 2]} << 8) | (uint64_t{p[n - 1]} << 16);
    }

    // The slot that holds `name` (whose key is `key`), or the free slot
    // where it would go.
    size_t slot_of(std::string_view name, uint64_t key) const {
        const size_t mask = slots_.size() - 1;
        size_t i = static_cast<size_t>(((key ^ name.size()) * 0x9E3779B97F4A7C15u) >> shift_);
        while (slots_[i] != Empty && !same(slots_[i], name, key))
            i = (i + 1) & mask;
        return i;
    }

    // Whether row `r` is named `name`.
    bool same(uint16_t r, std::string_view name, uint64_t key) const {
        if (keys_[r] != key) return false;
        const std::string_view row_name = name_of_(rows_[r]);
        if (row_name.size() != name.size()) return false;
        // Up to eight bytes the key holds the whole name.
        if (name.size() <= 8) return true;
        for (size_t k = 0; k < name.size(); ++k) {
            if (row_name[k] != name[k]) return false;
        }
        return true;
    }

    const Row* rows_;
    NameOf name_of_;
    int shift_ = 60;
    std::vector<uint16_t> slots_;
    std::vector<uint64_t> keys_; // by row
};

} // namespace varnel
