// Fixed-size record pool for the document tree. A document makes and drops
// one node per token, so node and attribute records come from large blocks
// and go back to a free list instead of the general-purpose heap: the
// allocation is a few instructions, and records made one after another lie
// next to each other in memory, which speeds up every later walk over the
// tree. Released records are reused by the next document. A pool takes its
// memory a stretch at a time from its thread's StretchSource, which cuts
// the stretches of all the thread's pools from the same blocks of the
// record region (record_region.h) and gives the blocks back when the
// thread ends (node.cpp keeps one pool of each kind per thread).
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

// The blocks that the record pools of one thread cut their stretches from,
// one stretch after another whichever pool asks: the pools of a thread
// share the part-used end of one block instead of each keeping a block of
// its own part-used. Where large pages back a block (which then takes
// memory whole as soon as any of it is written), those ends were most of
// what a large tree took beyond its records.
class StretchSource {
  public:
    StretchSource() = default;
    StretchSource(const StretchSource&) = delete;
    StretchSource& operator=(const StretchSource&) = delete;
    ~StretchSource();

    // A stretch of `bytes` (a multiple of the page size, at most a block's
    // largest size) that no pool holds.
    void* take(std::size_t bytes);
    // A stretch that its pool no longer needs (the pool ends); it is
    // handed out again for a stretch of the same size.
    void give_back(void* stretch, std::size_t bytes);

  private:
    struct Piece {
        void* start;
        std::size_t bytes;
    };
    std::vector<Piece> blocks_;   // taken from the region, in order
    std::vector<Piece> returned_; // stretches given back
    char* next_ = nullptr;        // the rest of the last block
    char* end_ = nullptr;
};

// The calling thread's source.
StretchSource& stretch_source();

// `Align` is the record's own alignment: a slot takes the record's size
// rounded up to it (and at least a pointer's size), not to the 16 bytes
// that the strictest alignment would ask for.
template <std::size_t Size, std::size_t Align = alignof(std::max_align_t)> class RecordPool {
  public:
    // (The source is made first, so that it ends after the pool does.)
    RecordPool() : source_(stretch_source()) {}
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;
    ~RecordPool() {
        for (std::size_t i = 0; i < stretches_.size(); ++i)
            source_.give_back(stretches_[i], stretch_bytes(i));
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
    // A pool's first stretch is small and each new one twice the size of
    // the last, up to 64 KiB: a small page touches (and makes the system
    // zero) only the memory it needs. A stretch is mapped 8 KiB at a time,
    // each part in one call just before its slots are handed out: the
    // system backs its pages for about half of what a fault on each page
    // as it is first written costs (on the real pages of the benchmark: 3%
    // less time than mapping only from 64 KiB on), and what a document
    // leaves unused of the parts mapped ahead, one per pool in use, stays
    // small beside a small page's tree.
    static constexpr std::size_t FirstStretchBytes = std::size_t{16} << 10;
    static constexpr std::size_t LastStretchBytes = std::size_t{64} << 10;
    static constexpr std::size_t MappedSlots = (std::size_t{8} << 10) / sizeof(Slot);

    // The size of the stretch at `index`.
    static constexpr std::size_t stretch_bytes(std::size_t index) {
        std::size_t bytes = FirstStretchBytes;
        for (std::size_t i = 0; i < index && bytes < LastStretchBytes; ++i)
            bytes *= 2;
        return bytes;
    }

    // Makes more slots ready to hand out: the next part of the current
    // stretch, or of the pool's next stretch (taken from the source if the
    // pool has none yet). Slots are handed out in address order within a
    // stretch, and stretches in the order taken.
    void grow() {
        if (end_ == stretch_end_) {
            const std::size_t bytes = stretch_bytes(in_use_);
            if (in_use_ == stretches_.size()) stretches_.push_back(source_.take(bytes));
            next_ = static_cast<Slot*>(stretches_[in_use_++]);
            stretch_end_ = next_ + bytes / sizeof(Slot);
        }
        end_ = next_ + std::min(MappedSlots, static_cast<std::size_t>(stretch_end_ - next_));
        map_now(next_, end_);
    }

    // With every record back (a document released its whole tree), the
    // next records are handed out from the first stretch again, in address
    // order, rather than from the free list in the order the tree was
    // released: the next document's records then lie in the order they
    // are made, as the first document's did, and walks over its tree read
    // memory front to back.
    void rewind() {
        free_ = nullptr;
        next_ = end_ = stretch_end_ = nullptr;
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

    StretchSource& source_;
    Slot* free_ = nullptr;        // released slots, most recent first
    Slot* next_ = nullptr;        // unused slots of the current stretch
    Slot* end_ = nullptr;         // the end of the slots mapped ahead
    Slot* stretch_end_ = nullptr; // the end of the current stretch
    std::size_t live_ = 0;        // records handed out and not given back
    std::size_t in_use_ = 0;      // stretches handed out from (the rest wait in stretches_)
    std::vector<void*> stretches_;
};

} // namespace varnel
