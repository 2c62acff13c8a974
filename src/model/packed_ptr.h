// Links of the tree records: a link between node and attribute records is
// a four-byte offset into the record region (record_region.h), any other
// pointer a record keeps takes six bytes (base/packed_bits.h). A node
// record holds its six links in 24 bytes instead of 48. A link reads and
// writes like the pointer it stands for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "base/packed_bits.h"
#include "model/record_region.h"

namespace varnel {

// Whether records of type T come from the record pools, and so lie in the
// record region (node.h says which do).
template <typename T> inline constexpr bool is_pooled_record = false;

// The storage of a link into the record region.
class RecordLinkBits {
  public:
    template <typename T> T* get() const {
        uint32_t link;
        std::memcpy(&link, bytes_, sizeof link);
        return record_at<T>(link);
    }
    void set(const void* record) {
        const uint32_t link = record_link_of(record);
        std::memcpy(bytes_, &link, sizeof link);
    }

  private:
    unsigned char bytes_[sizeof(uint32_t)] = {};
};

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
    static constexpr bool InRegion =
        RecordLinksAreOffsets && is_pooled_record<std::remove_const_t<T>>;

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

    T* get() const { return bits_.template get<T>(); }
    operator T*() const { return get(); }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }

  private:
    std::conditional_t<InRegion, RecordLinkBits, PackedBits> bits_;
};

} // namespace varnel
