// The value of an attribute: no value at all (a bare name, as in
// <input checked>), or a string, which may be empty. It takes 12 bytes
// where std::optional<std::string> takes 40: up to 11 bytes are kept in
// place (nearly half the values of real pages, most of those of tag
// soup), a longer value is copied to the heap (see CompactText). Every
// attribute record holds one, and a page of documentation holds thousands
// of attributes. Without a value it reads as the empty string.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/short_name.h"

namespace varnel {

class AttrValue : public CompactText<11> {
  public:
    AttrValue() { set_none(); }
    AttrValue(std::nullopt_t) { set_none(); }
    AttrValue(std::string_view text) { set(text); }
    AttrValue(const char* text) { set(text); }
    AttrValue(const std::string& text) { set(text); }
    AttrValue(const AttrValue& other) : CompactText() { copy_from(other); }
    AttrValue(AttrValue&& other) noexcept : CompactText() { take(other, true); }

    AttrValue& operator=(const AttrValue& other) {
        if (this != &other) {
            if (other.has_value()) {
                replace(other.view());
            } else {
                reset();
            }
        }
        return *this;
    }
    AttrValue& operator=(AttrValue&& other) noexcept {
        if (this != &other) {
            release();
            take(other, true);
        }
        return *this;
    }
    // `text` may be a view of this value itself.
    AttrValue& operator=(std::string_view text) {
        replace(text);
        return *this;
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
    void copy_from(const AttrValue& other) {
        if (other.has_value()) {
            set(other.view());
        } else {
            set_none();
        }
    }
};

} // namespace varnel
