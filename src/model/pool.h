// Fixed-size record pool for the document tree. A document makes and drops
// one node per token, so node and attribute records come from large blocks
// and go back to a free list instead of the general-purpose heap: the
// allocation is a few instructions, and records made one after another lie
// next to each other in memory, which speeds up every later walk over the
// tree. Released records are reused by the next document; the blocks come
// from the record region (record_region.h) and go back to it when the pool
// ends (node.cpp keeps one pool per thread).
//
// A record goes back to the pool it came from, that is, to the thread that
// made it: a document is made, printed and released by one thread.
//
// Under AddressSanitizer each record is a heap allocation of its own, so
// that the sanitizer still sees every use after release.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include <sys/mman.h>

#include "model/record_region.h"

namespace varnel {

// `Align` is the record's own alignment: a slot takes the record's size
// rounded up to it (and at least a pointer's size), not to the 16 bytes
// that the strictest alignment would ask for.
template <std::size_t Size, std::size_t Align = alignof(std::max_align_t)> class RecordPool {
  public:
    RecordPool() = default;
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;
    ~RecordPool() {
        for (std::size_t i = 0; i < blocks_.size(); ++i)
            give_back_record_block(blocks_[i], block_bytes(i));
    }

    void* take() {
#ifdef VARNEL_POOL_OFF
        return ::operator new(Size);
#else
        ++live_;
        if (free_ != nullptr) {
            Slot* slot = free_;
            free_ = slot->next();
            return slot;
        }
        if (next_ == end_) grow();
        return next_++;
#endif
    }

    void give_back(void* record) {
#ifdef VARNEL_POOL_OFF
        ::operator delete(record);
#else
        Slot* slot = static_cast<Slot*>(record);
        slot->set_next(free_);
        free_ = slot;
        if (--live_ == 0) rewind();
#endif
    }

  private:
    // A record's place; a released one holds the link to the next
    // released place in its first bytes (copied in and out, so that a slot
    // needs no more than the record's own alignment).
    struct alignas(Align) Slot {
        unsigned char bytes[Size > sizeof(void*) ? Size : sizeof(void*)];

        Slot* next() const {
            Slot* link;
            std::memcpy(&link, bytes, sizeof link);
            return link;
        }
        void set_next(Slot* link) { std::memcpy(bytes, &link, sizeof link); }
    };
    // The first block is small and each new one twice the size of the
    // last, up to 2 MiB: a small page touches (and makes the system zero)
    // only the memory it needs. Where the system has large pages, they back
    // the 2 MiB blocks of a large tree, and the whole tree of a mid-sized
    // page (see record_region.h).
    static constexpr std::size_t FirstBlockBytes = std::size_t{16} << 10;
    static constexpr std::size_t LastBlockBytes = std::size_t{2} << 20;

    // Blocks are mapped a stretch of up to 16 pages at a time, each
    // stretch in one call, just before its slots are handed out: the
    // system backs the pages of a stretch for about half of what a fault
    // on each page as it is first written costs (on the real pages of the
    // benchmark: 3% less time than mapping only blocks from 64 KiB on), and
    // maps at most one stretch that may go unused.
    static constexpr std::size_t StretchBytes = std::size_t{64} << 10;

    // The size of the block at `index`.
    static constexpr std::size_t block_bytes(std::size_t index) {
        std::size_t bytes = FirstBlockBytes;
        for (std::size_t i = 0; i < index && bytes < LastBlockBytes; ++i)
            bytes *= 2;
        return bytes;
    }

    // Makes more slots ready to hand out: the next stretch of the current
    // block, or else the next block, made now if the pool has none yet.
    // Slots are handed out in address order.
    void grow() {
        if (end_ == block_end_) {
            const std::size_t bytes = block_bytes(in_use_);
            if (in_use_ == blocks_.size()) blocks_.push_back(take_record_block(bytes));
            next_ = end_ = static_cast<Slot*>(blocks_[in_use_++]);
            block_end_ = next_ + bytes / sizeof(Slot);
        }
        Slot* const stretch_end = std::min(block_end_, end_ + StretchBytes / sizeof(Slot));
        map_now(end_, stretch_end);
        end_ = stretch_end;
    }

    // With every record back (a document released its whole tree), the
    // next records are handed out from the first block again, in address
    // order, rather than from the free list in the order the tree was
    // released: the next document's records then lie in the order they
    // are made, as the first document's did, and walks over its tree read
    // memory front to back.
    void rewind() {
        free_ = nullptr;
        next_ = end_ = block_end_ = nullptr;
        in_use_ = 0;
    }

    // Asks the system to back the pages of the slots [from, to) now. A
    // system that cannot (before Linux 5.14) maps them on first write as
    // usual, so the answer is not needed.
    static void map_now(Slot* from, Slot* to) {
#ifdef MADV_POPULATE_WRITE
        constexpr uintptr_t Page = 4096;
        const uintptr_t first = reinterpret_cast<uintptr_t>(from) & ~(Page - 1);
        const uintptr_t last = (reinterpret_cast<uintptr_t>(to) + Page - 1) & ~(Page - 1);
        (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
        (void)from;
        (void)to;
#endif
    }

    Slot* free_ = nullptr;      // released slots, most recent first
    Slot* next_ = nullptr;      // unused slots of the current block, as far as end_
    Slot* end_ = nullptr;       // (in a large block, the end of what is mapped)
    Slot* block_end_ = nullptr; // the end of the current block
    std::size_t live_ = 0;      // records handed out and not given back
    std::size_t in_use_ = 0;    // blocks handed out from (the rest wait in blocks_)
    std::vector<void*> blocks_;
};

} // namespace varnel
