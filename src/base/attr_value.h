// The value of an attribute: no value at all (a bare name, as in
// <input checked>), or a string, which may be empty. It takes 16 bytes
// where std::optional<std::string> takes 40: up to 14 bytes are kept in
// place, a longer value is copied to the heap (heap_copy, which carries
// the size). Every attribute record holds one, and a page of documentation
// holds thousands of attributes. The text is always followed by a NUL, so
// c_str() is free; without a value it reads as the empty string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/short_name.h"

namespace varnel {

class AttrValue {
  public:
    AttrValue() { set_none(); }
    AttrValue(std::nullopt_t) { set_none(); }
    AttrValue(std::string_view text) { set(text); }
    AttrValue(const char* text) { set(text); }
    AttrValue(const std::string& text) { set(text); }
    AttrValue(const AttrValue& other) { copy_from(other); }
    AttrValue(AttrValue&& other) noexcept {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.set_none();
    }
    ~AttrValue() { release(); }

    AttrValue& operator=(const AttrValue& other) {
        if (this != &other) {
            AttrValue copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    AttrValue& operator=(AttrValue&& other) noexcept {
        if (this != &other) {
            release();
            std::memcpy(bytes_, other.bytes_, sizeof bytes_);
            other.set_none();
        }
        return *this;
    }
    // `text` may be a view of this value itself.
    AttrValue& operator=(std::string_view text) {
        AttrValue copy(text);
        return *this = std::move(copy);
    }
    AttrValue& operator=(const char* text) { return *this = std::string_view(text); }
    AttrValue& operator=(const std::string& text) { return *this = std::string_view(text); }
    AttrValue& operator=(std::nullopt_t) {
        reset();
        return *this;
    }

    bool has_value() const { return tag() != NoneMark; }
    explicit operator bool() const { return has_value(); }
    void reset() {
        release();
        set_none();
    }

    const char* data() const { return on_heap() ? heap_pointer() : bytes_; }
    const char* c_str() const { return data(); }
    size_t size() const { return view().size(); }
    std::string_view view() const {
        const unsigned char t = tag();
        if (t <= Inline) return {bytes_, Inline - t};
        if (t == HeapMark) {
            const char* p = heap_pointer();
            return {p, heap_copy_size(p)};
        }
        return {bytes_, 0};
    }
    // The text (empty without a value), as std::optional<std::string> reads.
    std::string_view operator*() const { return view(); }
    struct Arrow {
        std::string_view text;
        const std::string_view* operator->() const { return &text; }
    };
    Arrow operator->() const { return {view()}; }
    std::string_view value_or(std::string_view fallback) const {
        return has_value() ? view() : fallback;
    }

    // Equal when both have no value, or both have the same text.
    friend bool operator==(const AttrValue& a, const AttrValue& b) {
        return a.has_value() == b.has_value() && a.view() == b.view();
    }

  private:
    // Bytes 0..13 hold an inline value and its NUL; byte 14 is always NUL
    // (so a value of 14 bytes ends in the NUL it needs); byte 15 holds 14
    // minus the inline size, or HeapMark for a value on the heap (whose
    // pointer then stands in bytes 0..7), or NoneMark for no value.
    static constexpr size_t Inline = 14;
    static constexpr unsigned char HeapMark = 0x80;
    static constexpr unsigned char NoneMark = 0x81;

    unsigned char tag() const { return static_cast<unsigned char>(bytes_[Inline + 1]); }
    bool on_heap() const { return tag() == HeapMark; }
    char* heap_pointer() const {
        char* p;
        std::memcpy(&p, bytes_, sizeof p);
        return p;
    }
    void set_none() {
        bytes_[0] = '\0';
        bytes_[Inline] = '\0';
        bytes_[Inline + 1] = static_cast<char>(NoneMark);
    }
    // Stores `text` in a value that holds nothing.
    void set(std::string_view text) {
        bytes_[Inline] = '\0';
        if (text.size() <= Inline) {
            std::memcpy(bytes_, text.data(), text.size());
            bytes_[text.size()] = '\0';
            bytes_[Inline + 1] = static_cast<char>(Inline - text.size());
            return;
        }
        char* p = heap_copy(text);
        std::memcpy(bytes_, &p, sizeof p);
        bytes_[Inline + 1] = static_cast<char>(HeapMark);
    }
    void copy_from(const AttrValue& other) {
        if (other.has_value()) {
            set(other.view());
        } else {
            set_none();
        }
    }
    void release() {
        if (on_heap()) heap_copy_release(heap_pointer());
    }

    char bytes_[Inline + 2];
};

} // namespace varnel
