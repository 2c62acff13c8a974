// The stretches that a thread's record pools take their memory from.
#include "model/pool.h"

namespace varnel {

namespace {

// The first block is small and each new one twice the size of the last,
// up to 2 MiB: a small page takes (and maps) little of the region, and the
// blocks of a large tree are the large pages that back them.
constexpr std::size_t FirstBlockBytes = std::size_t{16} << 10;
constexpr std::size_t LastBlockBytes = std::size_t{2} << 20;

std::size_t block_bytes(std::size_t index) {
    std::size_t bytes = FirstBlockBytes;
    for (std::size_t i = 0; i < index && bytes < LastBlockBytes; ++i)
        bytes *= 2;
    return bytes;
}

} // namespace

StretchSource::~StretchSource() {
    for (const Piece& block : blocks_)
        give_back_record_block(block.start, block.bytes);
}

void* StretchSource::take(std::size_t bytes) {
    for (std::size_t i = returned_.size(); i-- > 0;) {
        if (returned_[i].bytes != bytes) continue;
        void* stretch = returned_[i].start;
        returned_.erase(returned_.begin() + static_cast<std::ptrdiff_t>(i));
        return stretch;
    }
    if (static_cast<std::size_t>(end_ - next_) < bytes) {
        // What is left of the last block stays unused (and unmapped).
        const std::size_t size = std::max(block_bytes(blocks_.size()), bytes);
        void* block = take_record_block(size);
        blocks_.push_back(Piece{block, size});
        next_ = static_cast<char*>(block);
        end_ = next_ + size;
    }
    void* stretch = next_;
    next_ += bytes;
    return stretch;
}

void StretchSource::give_back(void* stretch, std::size_t bytes) {
    returned_.push_back(Piece{stretch, bytes});
}

StretchSource& stretch_source() {
    thread_local StretchSource source;
    return source;
}

} // namespace varnel
