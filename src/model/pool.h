// Fixed-size record pool for the document tree. A document makes and drops
// one node per token, so node and attribute records come from large blocks
// and go back to a free list instead of the general-purpose heap: the
// allocation is a few instructions, and records made one after another lie
// next to each other in memory, which speeds up every later walk over the
// tree. Released records are reused by the next document; the blocks are
// returned to the system when the pool ends (node.cpp keeps one pool per
// thread).
//
// Under AddressSanitizer each record is a heap allocation of its own, so
// that the sanitizer still sees every use after release.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNEL_POOL_OFF 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VARNEL_POOL_OFF 1
#endif

namespace varnel {

template <std::size_t Size> class RecordPool {
  public:
    RecordPool() = default;
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;
    ~RecordPool() {
        for (void* block : blocks_)
            release_block(block);
    }

    void* take() {
#ifdef VARNEL_POOL_OFF
        return ::operator new(Size);
#else
        if (free_ != nullptr) {
            Slot* slot = free_;
            free_ = slot->next;
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
        slot->next = free_;
        free_ = slot;
#endif
    }

  private:
    union Slot {
        Slot* next;
        alignas(std::max_align_t) unsigned char bytes[Size];
    };
    // Blocks of 2 MiB, aligned so that the system can back each with one
    // large page: a big document then costs far fewer page faults.
    static constexpr std::size_t BlockBytes = std::size_t{2} << 20;
    static constexpr std::size_t SlotsPerBlock = BlockBytes / sizeof(Slot);

    // Starts a new block; its slots are handed out in address order.
    void grow() {
        void* block = new_block();
        next_ = static_cast<Slot*>(block);
        end_ = next_ + SlotsPerBlock;
        blocks_.push_back(block);
    }

    // A block of BlockBytes, aligned to its size where the system allows
    // (mapped with room to spare, the unaligned ends given back).
    static void* new_block() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        for (;;) {
            void* area = mmap(nullptr, 2 * BlockBytes, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (area == MAP_FAILED) {
                // Out of memory: the new-handler ends the program, as for
                // any other allocation.
                std::new_handler handler = std::get_new_handler();
                if (handler == nullptr) throw std::bad_alloc();
                handler();
                continue;
            }
            auto start = reinterpret_cast<std::uintptr_t>(area);
            std::uintptr_t aligned = (start + BlockBytes - 1) & ~(BlockBytes - 1);
            if (aligned > start) munmap(area, aligned - start);
            std::uintptr_t tail = aligned + BlockBytes;
            std::uintptr_t area_end = start + 2 * BlockBytes;
            if (area_end > tail) munmap(reinterpret_cast<void*>(tail), area_end - tail);
            void* block = reinterpret_cast<void*>(aligned);
            madvise(block, BlockBytes, MADV_HUGEPAGE);
            return block;
        }
#else
        return ::operator new(BlockBytes);
#endif
    }

    static void release_block(void* block) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        munmap(block, BlockBytes);
#else
        ::operator delete(block);
#endif
    }

    Slot* free_ = nullptr; // released slots, most recent first
    Slot* next_ = nullptr; // unused part of the newest block
    Slot* end_ = nullptr;
    std::vector<void*> blocks_;
};

} // namespace varnel
