// Compact strings for the records of the document tree: RecordName for the
// names of elements and attributes that are not their table entry's own (7
// bytes, see model/node.h), ShortName for names kept elsewhere (12 bytes)
// and, through attr_value.h, AttrValue for attribute values. Short text is
// kept in place and longer text copied to the heap; every 4 KiB of records
// a document fills costs a page fault. The text is always followed by a
// NUL, so c_str() is free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/packed_bits.h"

namespace varnel {

// A copy of `text` on the heap, followed by a NUL and preceded by its size
// (see heap_copy_size); release it with heap_copy_release.
char* heap_copy(std::string_view text);
inline uint32_t heap_copy_size(const char* copy) {
    uint32_t n;
    std::memcpy(&n, copy - sizeof n, sizeof n);
    return n;
}
void heap_copy_release(char* copy);

// The storage ShortName, RecordName and AttrValue share: `Inline` bytes of
// text kept in place, followed by a NUL, and one byte more that tells the
// form. It holds Inline minus the size for text in place (so text of Inline
// bytes ends in the NUL it needs), HeapMark for text on the heap (whose
// pointer then stands in the first bytes, packed when Inline is less than a
// pointer's size; the heap copy carries its size), BorrowMark for text
// the storage does not own (a pointer to a string_view that outlives it,
// over text followed by a NUL: a name in a constant table), or NoneMark for
// "no text at all", which only AttrValue uses.
template <size_t Inline> class CompactText {
    static_assert(Inline >= 6);

  public:
    const char* data() const {
        const unsigned char t = tag();
        if (t == HeapMark) return stored_pointer<char>();
        if (t == BorrowMark) return stored_pointer<const std::string_view>()->data();
        return bytes_;
    }
    const char* c_str() const { return data(); }
    size_t size() const { return view().size(); }
    bool empty() const { return size() == 0; }
    std::string_view view() const {
        const unsigned char t = tag();
        if (t <= Inline) return {bytes_, Inline - t};
        if (t == HeapMark) {
            const char* p = heap_pointer();
            return {p, heap_copy_size(p)};
        }
        if (t == BorrowMark) return *stored_pointer<const std::string_view>();
        return {bytes_, 0}; // NoneMark
    }

  protected:
    static constexpr unsigned char HeapMark = 0x80;
    static constexpr unsigned char NoneMark = 0x81;
    static constexpr unsigned char BorrowMark = 0x82;
    // A pointer in place takes all its bytes when there is room, else it is
    // packed (base/packed_bits.h).
    static constexpr bool FullPointer = Inline >= sizeof(void*);

    CompactText() { set_inline_size(0); }
    CompactText(const CompactText&) = delete;
    CompactText& operator=(const CompactText&) = delete;
    ~CompactText() { release(); }

    unsigned char tag() const { return static_cast<unsigned char>(bytes_[Inline]); }
    bool on_heap() const { return tag() == HeapMark; }
    bool borrowed() const { return tag() == BorrowMark; }
    char* heap_pointer() const { return stored_pointer<char>(); }
    template <typename T> T* stored_pointer() const {
        const auto* from = reinterpret_cast<const unsigned char*>(bytes_);
        if constexpr (FullPointer) {
            T* p;
            std::memcpy(&p, from, sizeof p);
            return p;
        } else {
            return load_packed_pointer<T>(from);
        }
    }
    // Stores a pointer in place; the caller sets the form.
    void store_pointer(const void* pointer) {
        auto* to = reinterpret_cast<unsigned char*>(bytes_);
        if constexpr (FullPointer) {
            std::memcpy(to, &pointer, sizeof pointer);
        } else {
            store_packed_pointer(to, pointer);
        }
    }
    // Makes the storage, which must hold nothing it owns, stand for
    // `*text` without a copy.
    void set_borrowed(const std::string_view* text) {
        store_pointer(text);
        bytes_[Inline] = static_cast<char>(BorrowMark);
    }
    // Copies `other`'s text, or shares it when it is borrowed; the storage
    // must hold nothing it owns.
    void set_from(const CompactText& other) {
        if (other.borrowed()) {
            std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        } else {
            set(other.view());
        }
    }
    void set_inline_size(size_t n) {
        bytes_[n] = '\0';
        bytes_[Inline] = static_cast<char>(Inline - n);
    }
    void set_none() {
        bytes_[0] = '\0';
        bytes_[Inline] = static_cast<char>(NoneMark);
    }
    // Stores `text` in storage that holds nothing.
    void set(std::string_view text) {
        if (text.size() <= Inline) {
            // (An empty view may have no data at all.)
            if (!text.empty()) std::memcpy(bytes_, text.data(), text.size());
            set_inline_size(text.size());
            return;
        }
        char* p = heap_copy(text);
        store_pointer(p);
        bytes_[Inline] = static_cast<char>(HeapMark);
    }
    // Stores `text`, which may be a view of this storage itself.
    void replace(std::string_view text) {
        if (!on_heap()) {
            // An inline view of ourselves stays valid while it is copied
            // (memmove), and a heap copy is made before anything is lost.
            if (text.size() <= Inline) {
                if (!text.empty()) std::memmove(bytes_, text.data(), text.size());
                set_inline_size(text.size());
            } else {
                set(text);
            }
            return;
        }
        char* old = heap_pointer();
        set(text);
        heap_copy_release(old);
    }
    // Takes the storage of `other`, which is left empty (or without a value
    // when `none`); this storage must hold nothing it owns.
    void take(CompactText& other, bool none) {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        if (none) {
            other.set_none();
        } else {
            other.set_inline_size(0);
        }
    }
    // Frees a heap copy; the storage then holds nothing it owns.
    void release() {
        if (on_heap()) heap_copy_release(heap_pointer());
    }

  private:
    char bytes_[Inline + 1];
};

// A compact string for names: up to Inline bytes are kept in place (which
// covers nearly every name a page uses), a longer name is copied to the
// heap, and a name from a constant table may be borrowed instead (see
// borrow).
template <size_t Inline> class BasicShortName : public CompactText<Inline> {
    using Base = CompactText<Inline>;

  public:
    BasicShortName() = default;
    BasicShortName(std::string_view text) { this->set(text); }
    BasicShortName(const char* text) { this->set(text); }
    BasicShortName(const std::string& text) { this->set(text); }
    BasicShortName(const BasicShortName& other) : Base() { this->set_from(other); }
    BasicShortName(BasicShortName&& other) noexcept : Base() { this->take(other, false); }

    BasicShortName& operator=(const BasicShortName& other) {
        if (this == &other) return *this;
        if (other.borrowed()) {
            this->release();
            this->set_from(other);
        } else {
            this->replace(other.view());
        }
        return *this;
    }
    BasicShortName& operator=(BasicShortName&& other) noexcept {
        if (this != &other) {
            this->release();
            this->take(other, false);
        }
        return *this;
    }
    BasicShortName& operator=(std::string_view text) {
        this->replace(text);
        return *this;
    }
    BasicShortName& operator=(const char* text) { return *this = std::string_view(text); }
    BasicShortName& operator=(const std::string& text) { return *this = std::string_view(text); }
    void assign(const char* text, size_t size) { this->replace(std::string_view(text, size)); }
    void clear() {
        this->release();
        this->set_inline_size(0);
    }
    // Stands for `*text` without copying it: `text` outlives this name
    // (a name in a constant table) and its text is followed by a NUL.
    void borrow(const std::string_view* text) {
        this->release();
        this->set_borrowed(text);
    }

    operator std::string_view() const { return this->view(); }
    std::string str() const { return std::string(this->view()); }
    size_t find(char c, size_t from = 0) const { return this->view().find(c, from); }
    bool starts_with(std::string_view prefix) const { return this->view().starts_with(prefix); }
    std::string substr(size_t from, size_t count = std::string::npos) const {
        return std::string(this->view().substr(from, count));
    }

    friend bool operator==(const BasicShortName& a, const BasicShortName& b) {
        return a.view() == b.view();
    }
    friend bool operator==(const BasicShortName& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const BasicShortName& a, const char* b) {
        return a.view() == std::string_view(b);
    }
    friend bool operator==(const BasicShortName& a, const std::string& b) {
        return a.view() == std::string_view(b);
    }
};

// Names kept beside the tree, such as the elements a page used that HTML5
// made obsolete (12 bytes).
using ShortName = BasicShortName<11>;
// Names of elements and attributes kept beside their table entries (7
// bytes): six bytes in place, or a pointer of six bytes.
inline constexpr size_t RecordNameInline = 6;
using RecordName = BasicShortName<RecordNameInline>;

template <size_t Inline>
inline std::string operator+(const BasicShortName<Inline>& a, const std::string& b) {
    return std::string(a.view()) + b;
}

} // namespace varnel
