// A string of 12 bytes for the names of elements and attributes: up to 11
// bytes are kept in place (which covers nearly every name a page uses), a
// longer name is copied to the heap. A third of the size of std::string,
// which matters because every node and attribute record holds one and every
// 4 KiB of records a document fills costs a page fault. The text is always
// followed by a NUL, so c_str() is free.
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

class ShortName {
  public:
    ShortName() { set_inline_size(0); }
    ShortName(std::string_view text) { set(text); }
    ShortName(const char* text) { set(text); }
    ShortName(const std::string& text) { set(text); }
    ShortName(const ShortName& other) { set(other.view()); }
    ShortName(ShortName&& other) noexcept {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.set_inline_size(0);
    }
    ~ShortName() { release(); }

    ShortName& operator=(const ShortName& other) {
        if (this != &other) replace(other.view());
        return *this;
    }
    ShortName& operator=(ShortName&& other) noexcept {
        if (this != &other) {
            release();
            std::memcpy(bytes_, other.bytes_, sizeof bytes_);
            other.set_inline_size(0);
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
    void clear() { release(); }

    const char* data() const { return on_heap() ? heap_pointer() : bytes_; }
    const char* c_str() const { return data(); }
    size_t size() const { return on_heap() ? heap_size() : Inline - last(); }
    bool empty() const { return size() == 0; }
    std::string_view view() const { return {data(), size()}; }
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

  private:
    // Bytes 0..10 hold an inline name and its NUL; byte 11 holds 11 minus
    // the inline size (so a name of 11 bytes ends in the NUL it needs), or
    // HeapMark for a name on the heap, whose pointer then stands in bytes
    // 0..7 (the heap copy carries its size).
    static constexpr size_t Inline = 11;
    static constexpr unsigned char HeapMark = 0x80;

    unsigned char last() const { return static_cast<unsigned char>(bytes_[Inline]); }
    bool on_heap() const { return last() == HeapMark; }
    char* heap_pointer() const {
        char* p;
        std::memcpy(&p, bytes_, sizeof p);
        return p;
    }
    size_t heap_size() const { return heap_copy_size(heap_pointer()); }
    void set_inline_size(size_t n) {
        bytes_[n] = '\0';
        bytes_[Inline] = static_cast<char>(Inline - n);
    }
    // Stores `text` in a name that holds nothing.
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
    // Stores `text`, which may be a view of this name itself.
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
        ShortName copy(text);
        release();
        std::memcpy(bytes_, copy.bytes_, sizeof bytes_);
        copy.set_inline_size(0);
    }
    void release() {
        if (on_heap()) heap_copy_release(heap_pointer());
        set_inline_size(0);
    }

    char bytes_[Inline + 1];
};

inline std::string operator+(const ShortName& a, const std::string& b) {
    return std::string(a.view()) + b;
}

} // namespace varnel
