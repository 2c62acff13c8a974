// Compact strings for the records of the document tree: ShortName for the
// names of elements and attributes (12 bytes) and, through attr_value.h,
// AttrValue for attribute values. Short text is kept in place and longer
// text copied to the heap; every node and attribute record holds them, and
// every 4 KiB of records a document fills costs a page fault. The text is
// always followed by a NUL, so c_str() is free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

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

// The storage ShortName and AttrValue share: `Inline` bytes of text kept in
// place, followed by a NUL, and one byte more that tells the form. It holds
// Inline minus the size for text in place (so text of Inline bytes ends in
// the NUL it needs), HeapMark for text on the heap (whose pointer then
// stands in the first eight bytes; the heap copy carries its size), or
// NoneMark for "no text at all", which only AttrValue uses.
template <size_t Inline> class CompactText {
  public:
    const char* data() const { return on_heap() ? heap_pointer() : bytes_; }
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
        return {bytes_, 0}; // NoneMark
    }

  protected:
    static constexpr unsigned char HeapMark = 0x80;
    static constexpr unsigned char NoneMark = 0x81;

    CompactText() { set_inline_size(0); }
    CompactText(const CompactText&) = delete;
    CompactText& operator=(const CompactText&) = delete;
    ~CompactText() { release(); }

    unsigned char tag() const { return static_cast<unsigned char>(bytes_[Inline]); }
    bool on_heap() const { return tag() == HeapMark; }
    char* heap_pointer() const {
        char* p;
        std::memcpy(&p, bytes_, sizeof p);
        return p;
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
            std::memcpy(bytes_, text.data(), text.size());
            set_inline_size(text.size());
            return;
        }
        char* p = heap_copy(text);
        std::memcpy(bytes_, &p, sizeof p);
        bytes_[Inline] = static_cast<char>(HeapMark);
    }
    // Stores `text`, which may be a view of this storage itself.
    void replace(std::string_view text) {
        if (!on_heap()) {
            // An inline view of ourselves stays valid while it is copied
            // (memmove), and a heap copy is made before anything is lost.
            if (text.size() <= Inline) {
                std::memmove(bytes_, text.data(), text.size());
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

// A string of 12 bytes for the names of elements and attributes: up to 11
// bytes are kept in place (which covers nearly every name a page uses), a
// longer name is copied to the heap.
class ShortName : public CompactText<11> {
  public:
    ShortName() = default;
    ShortName(std::string_view text) { set(text); }
    ShortName(const char* text) { set(text); }
    ShortName(const std::string& text) { set(text); }
    ShortName(const ShortName& other) : CompactText() { set(other.view()); }
    ShortName(ShortName&& other) noexcept : CompactText() { take(other, false); }

    ShortName& operator=(const ShortName& other) {
        if (this != &other) replace(other.view());
        return *this;
    }
    ShortName& operator=(ShortName&& other) noexcept {
        if (this != &other) {
            release();
            take(other, false);
        }
        return *this;
    }
    ShortName& operator=(std::string_view text) {
        replace(text);
        return *this;
    }
    ShortName& operator=(const char* text) { return *this = std::string_view(text); }
    ShortName& operator=(const std::string& text) { return *this = std::string_view(text); }
    void assign(const char* text, size_t size) { replace(std::string_view(text, size)); }
    void clear() {
        release();
        set_inline_size(0);
    }

    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    size_t find(char c, size_t from = 0) const { return view().find(c, from); }
    bool starts_with(std::string_view prefix) const { return view().starts_with(prefix); }
    std::string substr(size_t from, size_t count = std::string::npos) const {
        return std::string(view().substr(from, count));
    }

    friend bool operator==(const ShortName& a, const ShortName& b) { return a.view() == b.view(); }
    friend bool operator==(const ShortName& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const ShortName& a, const char* b) {
        return a.view() == std::string_view(b);
    }
    friend bool operator==(const ShortName& a, const std::string& b) {
        return a.view() == std::string_view(b);
    }
};

inline std::string operator+(const ShortName& a, const std::string& b) {
    return std::string(a.view()) + b;
}

} // namespace varnel
