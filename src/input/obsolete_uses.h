// The uses of elements that HTML5 made obsolete, noted while a document is
// read and reported only if its output turns out to be HTML5 (which is
// known at the end). A tag soup has such a use in every few tags, so the
// log keeps each in a few bytes: the line as a difference from the last
// use's, the column, and the element name as an index into the distinct
// names seen. Owned by the lexer; written by note_obsolete, read by
// report_obsolete_elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varnel {

class ObsoleteUses {
  public:
    // Adds a use at `line` and `column` of the element named `name`.
    void add(uint32_t line, uint32_t column, std::string_view name);

    // Calls `visit(line, column, name)` for each use, in the order added.
    template <typename Visit> void for_each(Visit&& visit) const {
        size_t at = 0;
        uint32_t line = 0;
        while (at < bytes_.size()) {
            const uint64_t step = read_number(at);
            // (The difference was stored folded: even for forward, odd for back.)
            line = (step & 1) == 0 ? line + static_cast<uint32_t>(step >> 1)
                                   : line - static_cast<uint32_t>(step >> 1);
            const auto column = static_cast<uint32_t>(read_number(at));
            const std::string& name = *names_[static_cast<size_t>(read_number(at))];
            visit(line, column, std::string_view(name));
        }
    }

    bool empty() const { return bytes_.empty(); }
    void clear();

  private:
    void write_number(uint64_t value);
    uint64_t read_number(size_t& at) const;
    uint32_t name_index(std::string_view name);

    std::string bytes_; // per use: line step, column, name index, 7 bits a byte
    uint32_t last_line_ = 0;
    // The distinct names, and the index of each (its keys view the
    // strings, which stay where they are as the list grows).
    std::vector<std::unique_ptr<const std::string>> names_;
    std::unordered_map<std::string_view, uint32_t> index_;
    uint32_t last_name_ = 0; // the index the last use was given
};

} // namespace varnel
