// The record region: reserved on first use, handed out in blocks.
#include "model/record_region.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include <sys/mman.h>
#include <sys/resource.h>

#include "base/util.h"

namespace varnel {

namespace record_region_detail {
char* start = nullptr;
size_t size = 0;
} // namespace record_region_detail

namespace {

constexpr size_t Page = 4096;
// What four-byte links reach (a quarter of the address space where
// addresses have 32 bits, and links are pointers).
constexpr size_t LargestRegion =
    sizeof(size_t) >= 8 ? static_cast<size_t>((uint64_t{1} << 32) * RecordLinkUnit) : SIZE_MAX / 4;
constexpr size_t SmallestRegion = size_t{1} << 20;
// The region is made usable a large page at a time (or a block's size,
// when that is more): one system call serves the first blocks of a page's
// tree together, and the part made usable can be backed by large pages.
// Pages made usable but never written take no memory.
constexpr size_t UsableStep = LargePageBytes;

// A block given back, waiting for reuse: the list is kept in the blocks
// themselves, so that giving one back allocates nothing (it happens when a
// thread ends, and when the program exits for want of memory).
struct FreeBlock {
    FreeBlock* next;
    size_t bytes;
};

struct Region {
    std::once_flag reserved;
    std::mutex lock;
    size_t used = Page;                      // the first page is never handed out: link 0 is null
    size_t usable = 0;                       // readable and writable up to here
    FreeBlock* free_blocks = nullptr;        // the last one given back first
    std::atomic<bool> process_ending{false}; // blocks given back keep their memory
    std::once_flag large_pages;              // the region is advised as large-page memory
    std::atomic<bool> all_large{false};      // ... and that has been done
    size_t large_blocks = 0;                 // blocks of large-page size handed out
    uintptr_t heap_page = 0;                 // the heap's large page, shared (0: none)
    bool heap_page_full = false;             // ... and a block no longer fitted in it
    uintptr_t heap_base = 0;                 // where to start, above the heap (0: anywhere)
};

Region& region() {
    static Region instance;
    return instance;
}

// The size to reserve: what links reach, or under a limit on the process's
// address space half the limit (the records of a tree take most of its
// memory, and the text and the rest of the program keep the other half).
size_t wanted_size() {
    size_t bytes = LargestRegion;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bytes = std::min<size_t>(bytes, static_cast<size_t>(limit.rlim_cur / 2));
    return bytes & ~(Page - 1);
}

// What the heap may grow by past the region's start (its large page, or the
// large-page boundary below its free top) before it meets the region's own
// stretch above (beyond, the C library maps its blocks elsewhere).
constexpr size_t HeapRoom = size_t{64} << 20;

// Reserves the region so that it begins at r.heap_base, below the heap's
// free top: its own stretch starts HeapRoom above, where nothing may be
// mapped yet.
bool reserve_above_heap(Region& r) {
#ifdef MAP_FIXED_NOREPLACE
    const size_t bytes = wanted_size();
    if (bytes < 2 * HeapRoom) return false;
    char* const base = reinterpret_cast<char*>(r.heap_base);
    void* const wanted = base + HeapRoom;
    void* p = mmap(wanted, bytes - HeapRoom, PROT_NONE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (p == MAP_FAILED) return false;
    if (p != wanted) { // (a system older than the flag takes it as a hint)
        munmap(p, bytes - HeapRoom);
        return false;
    }
    record_region_detail::start = base;
    record_region_detail::size = bytes;
    r.used = r.usable = HeapRoom; // below: the heap's, not the region's to hand out
    return true;
#else
    (void)r;
    return false;
#endif
}

// Reserves the largest stretch the system grants, from the wanted size
// down by halves. Reserved without access, it takes no memory (and counts
// against no commit limit) until blocks are made usable.
void reserve() {
    Region& r = region();
    if (r.heap_base != 0 && reserve_above_heap(r)) return;
    r.heap_base = r.heap_page = 0;
    for (size_t bytes = wanted_size(); bytes >= SmallestRegion; bytes = (bytes / 2) & ~(Page - 1)) {
        void* p =
            mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p != MAP_FAILED) {
            // Started on a large-page boundary, so that large pages can
            // back the region from its start.
            char* const at = static_cast<char*>(p);
            size_t skip = (LargePageBytes - reinterpret_cast<uintptr_t>(at) % LargePageBytes) %
                          LargePageBytes;
            if (skip > bytes / 2) skip = 0; // (a small region, under a tight limit)
            record_region_detail::start = at + skip;
            record_region_detail::size = (bytes - skip) & ~(Page - 1);
            return;
        }
    }
}

// Makes the region readable and writable up to `end` (an offset), a large
// page at a time where it can.
void make_usable(Region& r, size_t end) {
    if (end <= r.usable) return;
    char* const from = record_region_detail::start + r.usable;
    const size_t needed = end - r.usable;
    const size_t step =
        std::min(std::max(needed, UsableStep), record_region_detail::size - r.usable);
    if (mprotect(from, step, PROT_READ | PROT_WRITE) == 0) {
        r.usable += step;
        return;
    }
    // Under a strict commit limit the step may be refused where the block
    // alone is not.
    if (mprotect(from, needed, PROT_READ | PROT_WRITE) != 0) fatal_error("Out of memory!");
    r.usable = end;
}

// Whether `block` is one that take_from_heap_page handed out.
bool in_heap_page(const Region& r, const void* block) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    return r.heap_page != 0 && at >= r.heap_page && at < r.heap_page + LargePageBytes;
}

// A block of the heap that lies in its large page (zeroed, as fresh memory
// of the region reads), or null: then none will fit any more. Past the
// page's first 4 KiB, so that no record lies where a link would be 0.
void* take_from_heap_page(Region& r, size_t bytes) {
    void* block = aligned_alloc(Page, bytes);
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    if (block != nullptr && at >= r.heap_page + Page &&
        at + bytes <= r.heap_page + LargePageBytes) {
        std::memset(block, 0, bytes);
        return block;
    }
    free(block);
    r.heap_page_full = true;
    return nullptr;
}

} // namespace

void link_outside_record_region() {
    fatal_error("Out of memory!");
}

void* take_record_block(size_t bytes) {
    Region& r = region();
    std::call_once(r.reserved, reserve);
    std::lock_guard<std::mutex> hold(r.lock);
    // The block given back last first: the likeliest to be in the caches.
    for (FreeBlock** link = &r.free_blocks; *link != nullptr; link = &(*link)->next) {
        FreeBlock* block = *link;
        if (block->bytes != bytes) continue;
        *link = block->next;
        std::memset(static_cast<void*>(block), 0, Page); // the whole block reads as zeros again
        return block;
    }
    char* const start = record_region_detail::start;
    if (start == nullptr) fatal_error("Out of memory!");
    if (r.heap_page != 0 && !r.heap_page_full) {
        if (void* block = take_from_heap_page(r, bytes)) return block;
    }
    // A block of large-page size starts on a large-page boundary, so that
    // the system can back it with one large page (the address space
    // skipped takes no memory), from a tree's third such block on: for the
    // first two (a tree of a few megabytes) the unfilled part of a large
    // page would be a large part of the tree. Once the whole region is so
    // backed, blocks follow each other without gaps.
    const bool large = bytes >= LargePageBytes && !r.all_large.load() && ++r.large_blocks > 2;
    if (large) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(start + r.used);
        const size_t skip = (LargePageBytes - at % LargePageBytes) % LargePageBytes;
        if (skip <= record_region_detail::size - r.used) r.used += skip;
    }
    if (bytes > record_region_detail::size - r.used) fatal_error("Out of memory!");
    make_usable(r, r.used + bytes);
    char* block = start + r.used;
    r.used += bytes;
    if (large) advise_large_pages(block, bytes);
    return block;
}

void give_back_record_block(void* block, size_t bytes) {
    Region& r = region();
    // The system takes back the whole region when the process ends.
    if (r.process_ending) return;
    if (in_heap_page(r, block)) {
        free(block);
        return;
    }
    // The memory goes back to the system but for the first page, which
    // holds the list entry (written into a page given back, the entry
    // would bring a fresh one in: a page fault, often just before the
    // program ends). The block stays usable and reads as zeros when it is
    // taken again.
    if (bytes > Page) (void)madvise(static_cast<char*>(block) + Page, bytes - Page, MADV_DONTNEED);
    std::lock_guard<std::mutex> hold(r.lock);
    r.free_blocks = new (block) FreeBlock{r.free_blocks, bytes};
}

void advise_large_record_pages() {
#ifndef VARNEL_POOL_OFF // (else records are heap allocations of their own)
    Region& r = region();
    std::call_once(r.reserved, reserve);
    // (A tree that shares the heap's large page is small: what does not fit
    // there takes small pages.)
    if (record_region_detail::start == nullptr || r.heap_page != 0) return;
    std::call_once(r.large_pages, [&r] {
        // Above the heap, the region's own stretch alone: the heap's part
        // is the C library's.
        const size_t own = r.heap_base != 0 ? HeapRoom : 0;
        advise_large_pages(record_region_detail::start + own, record_region_detail::size - own);
        r.all_large.store(true);
    });
#endif
}

bool record_region_all_large_pages() {
    return region().all_large.load();
}

void share_large_page_with_heap(void* page) {
#ifndef VARNEL_POOL_OFF
    Region& r = region();
    std::lock_guard<std::mutex> hold(r.lock);
    if (page != nullptr && record_region_detail::start == nullptr)
        r.heap_base = r.heap_page = reinterpret_cast<uintptr_t>(page);
#else
    (void)page;
#endif
}

void reserve_records_above_heap(void* base) {
#ifndef VARNEL_POOL_OFF
    Region& r = region();
    std::lock_guard<std::mutex> hold(r.lock);
    if (base != nullptr && record_region_detail::start == nullptr && r.heap_page == 0)
        r.heap_base = reinterpret_cast<uintptr_t>(base);
#else
    (void)base;
#endif
}

bool record_region_shares_heap_page() {
    const Region& r = region();
    return record_region_detail::start != nullptr && r.heap_page != 0;
}

void keep_record_blocks_to_the_end() {
    region().process_ending.store(true);
}

} // namespace varnel
