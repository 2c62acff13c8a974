// The log of obsolete elements' uses (see the header).
#include "input/obsolete_uses.h"

namespace varnel {

void ObsoleteUses::add(uint32_t line, uint32_t column, std::string_view name) {
    // Uses come in reading order, so the line mostly stays or moves on a
    // little; a step back is kept too, folded into the low bit.
    const uint64_t step = line >= last_line_ ? uint64_t{line - last_line_} << 1
                                             : (uint64_t{last_line_ - line} << 1) | 1;
    last_line_ = line;
    write_number(step);
    write_number(column);
    write_number(name_index(name));
}

void ObsoleteUses::clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    last_line_ = 0;
    last_name_ = 0;
    index_.clear();
    names_.clear();
}

// Seven bits a byte, the lowest first; the top bit says another follows.
void ObsoleteUses::write_number(uint64_t value) {
    while (value >= 0x80) {
        bytes_.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    bytes_.push_back(static_cast<char>(value));
}

uint64_t ObsoleteUses::read_number(size_t& at) const {
    uint64_t value = 0;
    for (int shift = 0; at < bytes_.size() && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes_[at++]);
        value |= uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) break;
    }
    return value;
}

uint32_t ObsoleteUses::name_index(std::string_view name) {
    // The name of the last use is the likeliest.
    if (last_name_ < names_.size() && *names_[last_name_] == name) return last_name_;
    if (auto found = index_.find(name); found != index_.end()) {
        last_name_ = found->second;
    } else {
        last_name_ = static_cast<uint32_t>(names_.size());
        names_.push_back(std::make_unique<const std::string>(name));
        index_.emplace(std::string_view(*names_.back()), last_name_);
    }
    return last_name_;
}

} // namespace varnel
