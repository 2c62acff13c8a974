// An index by name over one of the program's tables (tags, attributes,
// entities, the mixed-case names of SVG): only read once made, from any
// thread. Open addressing over a power-of-two array of 16-bit row numbers:
// a lookup hashes a key made of the name's bytes and compares one or two
// keys, with no division and no allocation.
//
// The indexes of the built-in tables (`FixedNameIndex`) are made by the
// compiler and lie in the program's read-only data: a run neither builds
// them nor writes their memory (memory a run writes costs it a page fault
// per 4 KiB, as much as thousands of instructions, and the index of the
// entities alone would take 4 KiB of slots and 2 KiB of keys). Tables made
// at run time use `NameIndex`, whose arrays are allocated.
#pragma once

#include <array>
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

// The number of slots for `rows` rows: a power of two, at least 16, with a
// third or more of them free.
constexpr size_t name_index_slots(size_t rows) {
    size_t size = 16;
    while (size < rows + rows / 2 + 1)
        size *= 2;
    return size;
}

// Rows are named by `NameOf`, a function of a row; a lambda (rather than a
// function pointer) is called inline on every probe. `Slots` and `Keys` hold
// the slot array and a key per row: std::array for an index made by the
// compiler, std::vector for one made at run time.
//
// A name is known by a 64-bit key taken from its bytes (all of them for a
// name of up to eight bytes, which most names are; the first and last four
// of a longer one): the key is hashed with one multiplication, and a probe
// compares keys and sizes, and whole names only when they are longer.
template <typename Row, typename NameOf, typename Slots, typename Keys> class BasicNameIndex {
  public:
    // Which row a name listed more than once stands for.
    enum class Repeats : uint8_t { FirstWins, LastWins };

    constexpr BasicNameIndex(const Row* rows, size_t count, NameOf name_of, Repeats repeats)
        : rows_(rows), name_of_(name_of) {
        if (count >= Empty) throw std::bad_array_new_length();
        const size_t size = name_index_slots(count);
        for (size_t s = 16; s < size; s *= 2)
            --shift_;
        if constexpr (requires(Slots & s) { s.assign(size_t{}, uint16_t{}); }) {
            slots_.assign(size, Empty);
            keys_.resize(count);
        } else {
            if (slots_.size() != size || keys_.size() != count) throw std::bad_array_new_length();
            slots_.fill(Empty);
        }
        for (size_t r = 0; r < count; ++r) {
            const std::string_view name = name_of_(rows_[r]);
            keys_[r] = key_of(name);
            uint16_t& slot = slots_[slot_of(name, keys_[r])];
            if (slot == Empty || repeats == Repeats::LastWins) slot = static_cast<uint16_t>(r);
        }
    }

    // The row listed under `name`, or null.
    constexpr const Row* find(std::string_view name) const {
        const uint16_t slot = slots_[slot_of(name, key_of(name))];
        return slot == Empty ? nullptr : &rows_[slot];
    }

  private:
    static constexpr uint16_t Empty = 0xFFFF;

    // The bytes from `p` as a little-endian number, whatever the machine's
    // order, so that the compiler's keys are the running program's.
    static constexpr uint32_t four_bytes(const char* p) {
        return static_cast<unsigned char>(p[0]) | uint32_t{static_cast<unsigned char>(p[1])} << 8 |
               uint32_t{static_cast<unsigned char>(p[2])} << 16 |
               uint32_t{static_cast<unsigned char>(p[3])} << 24;
    }

    static constexpr uint64_t key_of(std::string_view name) {
        const size_t n = name.size();
        if (n >= 4)
            return (uint64_t{four_bytes(name.data() + n - 4)} << 32) | four_bytes(name.data());
        if (n == 0) return 0;
        const auto byte = [&](size_t i) { return uint64_t{static_cast<unsigned char>(name[i])}; };
        return byte(0) | (byte(n / 2) << 8) | (byte(n - 1) << 16);
    }

    // The slot that holds `name` (whose key is `key`), or the free slot
    // where it would go.
    constexpr size_t slot_of(std::string_view name, uint64_t key) const {
        const size_t mask = slots_.size() - 1;
        size_t i = static_cast<size_t>(((key ^ name.size()) * 0x9E3779B97F4A7C15u) >> shift_);
        while (slots_[i] != Empty && !same(slots_[i], name, key))
            i = (i + 1) & mask;
        return i;
    }

    // Whether row `r` is named `name`.
    constexpr bool same(uint16_t r, std::string_view name, uint64_t key) const {
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
    Slots slots_{};
    Keys keys_{}; // by row
};

// An index made at run time.
template <typename Row, typename NameOf = std::string_view (*)(const Row&)>
using NameIndex = BasicNameIndex<Row, NameOf, std::vector<uint16_t>, std::vector<uint64_t>>;

// An index of `Count` rows, made by the compiler when it is declared
// constexpr.
template <typename Row, size_t Count, typename NameOf>
using FixedNameIndex = BasicNameIndex<Row, NameOf, std::array<uint16_t, name_index_slots(Count)>,
                                      std::array<uint64_t, Count>>;

} // namespace varnel
