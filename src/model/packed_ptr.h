// Pointers of the tree records kept in six bytes (four where addresses
// have 32 bits). A process's addresses fit in 48 bits (the x86-64 and
// AArch64 address spaces that Linux gives a program without being asked
// for more), so the two top bytes of a pointer are always zero and a node
// record can hold its seven links and its tag in 42 bytes instead of 56: a
// document's records take a fifth less memory, and so fewer pages, faults
// and cache misses. A link reads and writes like the pointer it stands for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/short_name.h"
#include "model/tags.h"

namespace varnel {

class PackedBits {
  public:
    // The bits of a pointer that fits in six bytes; a larger one ends the
    // program (it would be a system that this build was not made for).
    static uint64_t of(const void* pointer) {
        const auto bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
        if ((bits >> 48) != 0) pointer_too_wide();
        return bits;
    }

    uint64_t get() const {
        if constexpr (Bytes == 4) {
            uint32_t bits;
            std::memcpy(&bits, bytes_, sizeof bits);
            return bits;
        } else {
            uint32_t low;
            uint16_t high;
            std::memcpy(&low, bytes_, sizeof low);
            std::memcpy(&high, bytes_ + 4, sizeof high);
            return (uint64_t{high} << 32) | low;
        }
    }
    void set(uint64_t bits) {
        const auto low = static_cast<uint32_t>(bits);
        std::memcpy(bytes_, &low, sizeof low);
        if constexpr (Bytes == 6) {
            const auto high = static_cast<uint16_t>(bits >> 32);
            std::memcpy(bytes_ + 4, &high, sizeof high);
        }
    }

  private:
    // Where pointers have 32 bits, a link is one, in four bytes.
    static constexpr size_t Bytes = sizeof(void*) < 6 ? sizeof(void*) : 6;
    static_assert(Bytes == 4 || Bytes == 6);
    unsigned char bytes_[Bytes] = {};
};

// A link to a record of type T.
template <typename T> class PackedPtr {
  public:
    PackedPtr() = default;
    PackedPtr(std::nullptr_t) {}
    PackedPtr(T* pointer) { bits_.set(PackedBits::of(pointer)); }
    PackedPtr& operator=(T* pointer) {
        bits_.set(PackedBits::of(pointer));
        return *this;
    }
    PackedPtr& operator=(std::nullptr_t) {
        bits_.set(0);
        return *this;
    }

    T* get() const { return reinterpret_cast<T*>(static_cast<uintptr_t>(bits_.get())); }
    operator T*() const { return get(); }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }

  private:
    PackedBits bits_;
};

// A node's tag, read and written as the TagPtr it stands for.
class PackedTag {
  public:
    PackedTag() = default;
    PackedTag(TagPtr tag) { bits_.set(PackedBits::of(tag.get())); }
    PackedTag& operator=(TagPtr tag) {
        bits_.set(PackedBits::of(tag.get()));
        return *this;
    }

    TagPtr tag() const {
        return TagPtr(reinterpret_cast<const TagDef*>(static_cast<uintptr_t>(bits_.get())));
    }
    operator TagPtr() const { return tag(); }
    const TagDef* get() const { return tag().get(); }
    const TagDef* operator->() const { return get(); }
    const TagDef& operator*() const { return *get(); }
    explicit operator bool() const { return get() != nullptr; }

    friend bool operator==(const PackedTag& a, TagPtr b) { return a.tag() == b; }
    friend bool operator==(const PackedTag& a, const PackedTag& b) { return a.tag() == b.tag(); }
    friend bool operator==(const PackedTag& a, std::nullptr_t) { return a.get() == nullptr; }

  private:
    PackedBits bits_;
};

} // namespace varnel
