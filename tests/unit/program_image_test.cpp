// Mapping the program's own code and constants ahead: after the call,
// every page of the read-only segments of this test program is mapped.
// Hiding the vDSO: only its entry of the auxiliary vector changes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include "cli/program_image.h"
#include "fresh_process.h"

namespace varnel {
namespace {

constexpr uintptr_t Page = 4096;

struct Stretch {
    uintptr_t from;
    uintptr_t to;
};

// The read-only segments of this program, as the dynamic linker reports
// them (the program itself comes first in its list).
std::vector<Stretch> read_only_segments() {
    std::vector<Stretch> stretches;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* found = static_cast<std::vector<Stretch>*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W) != 0) continue;
                const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                found->push_back(
                    {start & ~(Page - 1), (start + segment.p_memsz + Page - 1) & ~(Page - 1)});
            }
            return 1; // the program alone
        },
        &stretches);
    return stretches;
}

// The pages of `stretches` the process has mapped, and in all.
std::pair<size_t, size_t> pages_mapped(const std::vector<Stretch>& stretches) {
    const int map = open("/proc/self/pagemap", O_RDONLY);
    size_t mapped = 0, total = 0;
    for (const Stretch& stretch : stretches) {
        std::vector<uint64_t> entries((stretch.to - stretch.from) / Page);
        const size_t bytes = entries.size() * sizeof(uint64_t);
        if (pread(map, entries.data(), bytes, static_cast<off_t>(stretch.from / Page * 8)) !=
            static_cast<ssize_t>(bytes))
            continue;
        for (uint64_t entry : entries)
            mapped += entry >> 63; // "present"
        total += entries.size();
    }
    if (map >= 0) close(map);
    return {mapped, total};
}

TEST(ProgramImage, MapsEveryPageOfCodeAndConstants) {
    const std::vector<Stretch> segments = read_only_segments();
    ASSERT_FALSE(segments.empty());
    if (pages_mapped(segments).second == 0)
        GTEST_SKIP() << "/proc/self/pagemap cannot be read here";
    // (Linux 5.14 and later; its value where the headers are older.)
    constexpr int PopulateRead = 22;
    if (madvise(reinterpret_cast<void*>(segments[0].from), Page, PopulateRead) != 0)
        GTEST_SKIP() << "this system cannot map pages ahead";
    // In a fresh process: its code pages are first given back (they are
    // mapped again from the file as they are touched), so that the test
    // sees the call map what was not mapped.
    const auto maps = [&segments] {
        for (const Stretch& stretch : segments)
            madvise(reinterpret_cast<void*>(stretch.from), stretch.to - stretch.from,
                    MADV_DONTNEED);
        int fails = 0;
        const auto [before, total] = pages_mapped(segments);
        if (before == total) fails |= 1; // nothing left for the call to do
        if (!map_program_image()) fails |= 2;
        const auto [after, total_after] = pages_mapped(segments);
        if (after != total_after) fails |= 4;
        test::exit_with_failures(fails);
    };
    test::expect_clean_exit_in_fresh_process(maps);
}

// An initial stack as the system lays it out: the argument count, the
// arguments and a null, the environment and a null, then the auxiliary
// vector's pairs up to AT_NULL. Only the vDSO's pair is marked ignored.
TEST(ProgramImage, HidesTheVdsoAndNothingElse) {
    char a0[] = "varnel", a1[] = "-q", e0[] = "HOME=/", e1[] = "LANG=C";
    const auto p = [](const void* at) { return reinterpret_cast<uintptr_t>(at); };
    std::vector<uintptr_t> before = {2, p(a0), p(a1), 0}; // the arguments
    before.insert(before.end(), {p(e0), p(e1), 0});       // the environment
    before.insert(before.end(), {AT_PHDR, 0x400040, AT_SYSINFO_EHDR, 0x7ffff7fc1000});
    before.insert(before.end(), {AT_PAGESZ, 4096, AT_RANDOM, p(e1), AT_NULL, 0});
    before.insert(before.end(), {AT_SYSINFO_EHDR, 7}); // past the vector's end
    std::vector<uintptr_t> stack = before;
    hide_vdso(stack.data());
    std::vector<uintptr_t> expected = before;
    expected[9] = AT_IGNORE; // (the pair past AT_NULL is not the vector's)
    EXPECT_EQ(stack, expected);

    // No arguments, no environment, no vDSO: nothing to change.
    const std::vector<uintptr_t> bare = {0, 0, 0, AT_PAGESZ, 4096, AT_NULL, 0};
    stack = bare;
    hide_vdso(stack.data());
    EXPECT_EQ(stack, bare);
}

} // namespace
} // namespace varnel
