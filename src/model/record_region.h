// The address space that the tree's node and attribute records come from:
// one stretch reserved once per process, from which every thread's record
// pools (pool.h) take their blocks. Because every record lies inside it, a
// link between records is kept as a four-byte offset from its start rather
// than as a pointer (packed_ptr.h): a node record is a fifth smaller, and
// so is the memory, the page faults and the cache misses of every tree.
//
// The stretch is reserved without access, which costs no memory, and made
// usable a large page (2 MiB) at a time as pools take blocks. Where the
// system has large pages, they back the trees of mid-sized pages and the
// large blocks of large trees (fewer page faults); in the program, a small
// tree's first blocks may come from the heap's large page instead (see
// share_large_page_with_heap), and the region of a small page's tree lies
// beside the heap (reserve_records_above_heap). Blocks that a pool gives back (when its
// thread ends, before the process does) return their memory to the system
// and wait for the next pool that needs one.
//
// Under AddressSanitizer the pools give each record a heap allocation of
// its own (so that the sanitizer sees every use after release), and links
// stay pointers.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNEL_POOL_OFF 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VARNEL_POOL_OFF 1
#endif

namespace varnel {

#if !defined(VARNEL_POOL_OFF) && UINTPTR_MAX > 0xFFFFFFFFu
// Links are offsets into the region, counted in units of two bytes (every
// record starts at an even offset from the start): four bytes reach 8 GiB
// of records, the tree of a page of about 3 GB, while a text record of 22
// bytes takes no more room than its own.
inline constexpr bool RecordLinksAreOffsets = true;
#else
inline constexpr bool RecordLinksAreOffsets = false;
#endif

inline constexpr size_t RecordLinkUnit = 2;

namespace record_region_detail {
// The start of the region and its size in bytes: set once, when the first
// block is taken, before any record exists (so before any link is read).
extern char* start;
extern size_t size;
} // namespace record_region_detail

// Where the region starts (null before the first block is taken).
inline char* record_region_start() {
    return record_region_detail::start;
}

// Ends the program through the out-of-memory exit: a link was asked to
// point outside the region (a record that did not come from a pool).
[[noreturn]] void link_outside_record_region();

// The four-byte link for `record` (null gives 0: the region's first page is
// never handed out).
inline uint32_t record_link_of(const void* record) {
    if (record == nullptr) return 0;
    // (Counted on addresses: the difference of two pointers is only
    // defined inside one object.)
    const uintptr_t offset =
        reinterpret_cast<uintptr_t>(record) - reinterpret_cast<uintptr_t>(record_region_start());
    if (offset >= record_region_detail::size) link_outside_record_region();
    return static_cast<uint32_t>(offset / RecordLinkUnit);
}

// The record that `link` stands for.
template <typename T> T* record_at(uint32_t link) {
    return link == 0 ? nullptr
                     : reinterpret_cast<T*>(record_region_start() + size_t{link} * RecordLinkUnit);
}

// A block of `bytes` (a multiple of the page size), readable and writable,
// inside the region; the program ends through the out-of-memory exit when
// the region or the system has no more.
void* take_record_block(size_t bytes);

// Gives a block that take_record_block handed out back for reuse.
void give_back_record_block(void* block, size_t bytes);

// Trees of more than a few pages are coming: the region's memory is backed
// by large pages from now on, where the system has them (one fault and one
// clearing of 2 MiB instead of a fault for every 4 KiB written). Blocks of
// 2 MiB are so backed in any case.
void advise_large_record_pages();

// Whether advise_large_record_pages has been done (blocks then follow each
// other without gaps).
bool record_region_all_large_pages();

// Lets the records of small trees share the large page at `page` that the
// heap hands its blocks out from (see move_heap_to_large_page), so that a
// page's run clears one large page instead of two. The region is then
// reserved a little above the heap (room enough for the heap to grow), so
// that it begins at `page`, and a pool's blocks come from the heap as long
// as they fit in that page; the rest come from the region as before, in
// small pages. For the program, before the first record; nothing changes
// when the region cannot be reserved there or has been already.
void share_large_page_with_heap(void* page);

// Whether the region shares the heap's large page (see above).
bool record_region_shares_heap_page();

// Has the region reserved, when it is first needed, 64 MiB above `base`,
// an address below the heap's free top (see heap_free_top_floor), rather
// than among the process's other mappings; its blocks all come from its
// own stretch. A small page's tree then lies in the same gigabyte of
// address space as the heap and the program's image, and the run makes
// (and tears down at its end) fewer page tables, which cost the more in a
// virtual machine, where a change to a page table may call the host. For
// the program, before the first record, over small pages; nothing changes
// when the region cannot be reserved there or has been already, or when
// the heap's large page is shared.
void reserve_records_above_heap(void* base);

// The process is about to end: blocks given back from now on (by the
// pools of threads that end with it) are left as they are, since the
// system takes all their memory at exit anyway; returning it block by
// block first would cost a system call each.
void keep_record_blocks_to_the_end();

} // namespace varnel
