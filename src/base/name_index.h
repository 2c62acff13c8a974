// A table from names to values for the program's fixed vocabularies (tags,
// attributes, entities): built once from the constant lists, then only
// read, from any thread. Open addressing over a power-of-two array with an
// FNV-1a hash of the name: a lookup hashes a few bytes and compares one or
// two names, with no division and no allocation. The names are views of
// storage that outlives the table (the constant lists themselves).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace varnel {

template <typename T> class NameIndex {
  public:
    explicit NameIndex(size_t expected = 0) { resize(expected); }

    // Enters `name`; a name entered again takes the later value.
    void insert_or_assign(std::string_view name, T value) {
        if (2 * (count_ + 1) > slots_.size()) resize(2 * (count_ + 1));
        Slot& slot = slots_[slot_of(name)];
        if (!slot.used) ++count_;
        slot = Slot{name, value, true};
    }

    // The value entered under `name`, or null.
    const T* find(std::string_view name) const {
        const Slot& slot = slots_[slot_of(name)];
        return slot.used ? &slot.value : nullptr;
    }

    size_t size() const { return count_; }

  private:
    struct Slot {
        std::string_view name;
        T value{};
        bool used = false;
    };

    static size_t hash(std::string_view name) {
        uint64_t h = 14695981039346656037ull;
        for (const char c : name) {
            h ^= static_cast<unsigned char>(c);
            h *= 1099511628211ull;
        }
        return static_cast<size_t>(h ^ (h >> 32));
    }

    // The slot that holds `name`, or the free slot where it would go.
    size_t slot_of(std::string_view name) const {
        const size_t mask = slots_.size() - 1;
        size_t i = hash(name) & mask;
        while (slots_[i].used && slots_[i].name != name)
            i = (i + 1) & mask;
        return i;
    }

    // Makes room for `wanted` names at a load of at most one half.
    void resize(size_t wanted) {
        size_t size = 16;
        while (size < 2 * wanted)
            size *= 2;
        if (size <= slots_.size()) return;
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(size, Slot{});
        for (const Slot& slot : old) {
            if (slot.used) slots_[slot_of(slot.name)] = slot;
        }
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

} // namespace varnel
