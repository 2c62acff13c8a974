// Links of the tree records in six bytes (see base/packed_bits.h): a node
// record holds its six links and its tag in 42 bytes instead of 56. A
// link reads and writes like the pointer it stands for.
#pragma once

#include <cstddef>

#include "base/packed_bits.h"
#include "model/tags.h"

namespace varnel {

// A packed pointer's storage.
class PackedBits {
  public:
    template <typename T> T* get() const { return load_packed_pointer<T>(bytes_); }
    void set(const void* pointer) { store_packed_pointer(bytes_, pointer); }

  private:
    unsigned char bytes_[PackedPointerBytes] = {};
};

// A link to a record of type T.
template <typename T> class PackedPtr {
  public:
    PackedPtr() = default;
    PackedPtr(std::nullptr_t) {}
    PackedPtr(T* pointer) { bits_.set(pointer); }
    PackedPtr& operator=(T* pointer) {
        bits_.set(pointer);
        return *this;
    }
    PackedPtr& operator=(std::nullptr_t) {
        bits_.set(nullptr);
        return *this;
    }

    T* get() const { return bits_.get<T>(); }
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
    PackedTag(TagPtr tag) { bits_.set(tag.get()); }
    PackedTag& operator=(TagPtr tag) {
        bits_.set(tag.get());
        return *this;
    }

    TagPtr tag() const { return TagPtr(get()); }
    operator TagPtr() const { return tag(); }
    const TagDef* get() const { return bits_.get<const TagDef>(); }
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
