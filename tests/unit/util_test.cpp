// Memory and byte-string routines: exact comparison semantics, copies with
// and without terminators, and the fatal-error exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "base/name_index.h"
#include "base/attr_value.h"
#include "base/short_name.h"
#include "base/util.h"
#include "cli/signals.h"
#include "fresh_process.h"

namespace varnel {
namespace {

// A fresh copy that the test owns.
struct Owned {
    char* p;
    explicit Owned(char* s) : p(s) {}
    ~Owned() { mem_free(p); }
};

TEST(StringCopies, DupKeepsEmptyAndNull) {
    Owned empty(str_dup(""));
    ASSERT_NE(empty.p, nullptr);
    EXPECT_STREQ(empty.p, "");
    EXPECT_EQ(str_dup(nullptr), nullptr);
    const char* text = "abc";
    Owned copy(str_dup(text));
    EXPECT_STREQ(copy.p, "abc");
    EXPECT_NE(copy.p, text);
}

TEST(StringCopies, NdupStopsAtCountOrNul) {
    Owned zero(str_ndup("abc", 0));
    ASSERT_NE(zero.p, nullptr);
    EXPECT_STREQ(zero.p, "");
    Owned two(str_ndup("abc", 2));
    EXPECT_STREQ(two.p, "ab");
    // Past the end of the string it stops after the NUL.
    char source[] = {'x', 'y', '\0', 'z', 'w'};
    Owned past(str_ndup(source, 5));
    EXPECT_STREQ(past.p, "xy");
    EXPECT_EQ(str_ndup(nullptr, 3), nullptr);
    EXPECT_EQ(str_ndup("abc", -1), nullptr);
}

TEST(StringCopies, CopyBytesCountRules) {
    char dest[16];
    memset(dest, '#', sizeof dest);
    copy_bytes(dest, "0123456789", 3);
    // Exactly three bytes, no terminator added.
    EXPECT_EQ(std::string(dest, 5), "012##");
    // A negative count copies the whole string with its NUL.
    memset(dest, '#', sizeof dest);
    copy_bytes(dest, "hey", -1);
    EXPECT_EQ(std::string(dest, 5), std::string("hey\0#", 5));
    // A count of 0 or a null pointer changes nothing.
    memset(dest, '#', sizeof dest);
    copy_bytes(dest, "abc", 0);
    copy_bytes(dest, nullptr, 3);
    copy_bytes(nullptr, "abc", 3);
    EXPECT_EQ(std::string(dest, 3), "###");
    // A positive count does not stop at a NUL in the source.
    copy_bytes(dest, "a\0b", 3);
    EXPECT_EQ(std::string(dest, 3), std::string("a\0b", 3));
}

TEST(StringCopies, CopyAppendLength) {
    char dest[16] = "ab";
    str_append(dest, "cd");
    EXPECT_STREQ(dest, "abcd");
    str_copy(dest, "x");
    EXPECT_STREQ(dest, "x");
    EXPECT_EQ(dest[2], 'c'); // only the string and its NUL were written
    EXPECT_EQ(str_length(""), 0u);
    EXPECT_EQ(str_length("four"), 4u);
}

TEST(StringCompare, SignedByteOrder) {
    EXPECT_EQ(str_compare("abc", "abc"), 0);
    EXPECT_EQ(str_compare("abd", "abc"), 1);
    EXPECT_EQ(str_compare("abc", "abd"), -1);
    EXPECT_EQ(str_compare("ab", "abc"), -1);
    EXPECT_EQ(str_compare("abc", "ab"), 1);
    // Bytes are compared as signed values: 0xE9 sorts before "a".
    EXPECT_EQ(str_compare("\xE9", "a"), -1);
    EXPECT_EQ(str_compare("a", "\xE9"), 1);
    // Results are exactly -1, 0 or 1, not differences.
    EXPECT_EQ(str_compare("z", "a"), 1);
}

TEST(StringCompare, BoundedCompare) {
    EXPECT_EQ(str_ncompare("abcX", "abcY", 3), 0);
    EXPECT_EQ(str_ncompare("abcX", "abcY", 4), -1);
    EXPECT_EQ(str_ncompare("ab", "ab", 10), 0);
    EXPECT_EQ(str_ncompare("b", "a", 0), 0);
    EXPECT_EQ(str_ncompare("\x80", "\x7F", 1), -1);
}

TEST(StringCompare, CaseCompareFoldsAsciiLettersOnly) {
    EXPECT_EQ(str_case_compare("HTML", "html"), 0);
    EXPECT_EQ(str_case_compare("Body", "bODY"), 0);
    // Latin-1 capital and small e with acute are different.
    EXPECT_NE(str_case_compare("\xC9", "\xE9"), 0);
    // "[" (0x5B) lies between the capitals and the small letters: it is not
    // folded, so it differs from "{" (0x7B).
    EXPECT_NE(str_case_compare("[", "{"), 0);
    // The order is decided by the unfolded bytes at the first difference.
    EXPECT_EQ(str_case_compare("ab", "AC"), 1);  // 'b' > 'C' unfolded
    EXPECT_EQ(str_case_compare("AB", "ac"), -1); // 'B' < 'c' unfolded
    EXPECT_EQ(str_case_compare("abc", "ABCD"), -1);
    EXPECT_EQ(str_case_compare("ABCD", "abc"), 1);
}

TEST(StringCompare, BoundedCaseCompare) {
    EXPECT_EQ(str_ncase_compare("CONTENT-type", "content-TYPE", 12), 0);
    EXPECT_EQ(str_ncase_compare("ABCx", "abcy", 3), 0);
    EXPECT_EQ(str_ncase_compare("ABCx", "abcy", 4), -1);
    EXPECT_EQ(str_ncase_compare("b", "A", 1), 1);
    EXPECT_EQ(str_ncase_compare("a", "a", 5), 0);
    EXPECT_EQ(str_ncase_compare("a", "ab", 5), -1);
    EXPECT_NE(str_ncase_compare("\xC9", "\xE9", 1), 0);
}

TEST(StringCompare, CaseContains) {
    EXPECT_EQ(str_case_contains("text/JavaScript", "javascript"), 1);
    EXPECT_EQ(str_case_contains("MsoNormal", "mso"), 1);
    EXPECT_EQ(str_case_contains("abc", "abcd"), 0);
    EXPECT_EQ(str_case_contains("abc", ""), 1);
    EXPECT_EQ(str_case_contains("", ""), 1);
    EXPECT_EQ(str_case_contains("aab", "ab"), 1);
    EXPECT_EQ(str_case_contains("abc", "bd"), 0);
    EXPECT_EQ(str_case_contains("xyz", "Z"), 1);
}

TEST(StringCompare, ConvenienceForms) {
    EXPECT_TRUE(equals_ignore_case("Style", "STYLE"));
    EXPECT_FALSE(equals_ignore_case("Style", "Styles"));
    EXPECT_TRUE(equals_ignore_case(nullptr, nullptr));
    EXPECT_FALSE(equals_ignore_case("a", nullptr));
    EXPECT_TRUE(starts_with_ignore_case("Mso-Style", "mso-"));
    EXPECT_FALSE(starts_with_ignore_case("ms", "mso-"));
    EXPECT_TRUE(starts_with_ignore_case("anything", ""));
    EXPECT_FALSE(starts_with_ignore_case(nullptr, "a"));
}

TEST(Memory, AllocationsAreUsable) {
    char* block = static_cast<char*>(mem_alloc(0));
    ASSERT_NE(block, nullptr);
    block = static_cast<char*>(mem_realloc(block, 64));
    memset(block, 'x', 64);
    mem_free(block);
    char* fresh = static_cast<char*>(mem_realloc(nullptr, 8));
    ASSERT_NE(fresh, nullptr);
    mem_free(fresh);
    mem_free(nullptr);
}

TEST(FatalError, IsThrownWithItsMessage) {
    try {
        fatal_error("Out of memory!");
        FAIL() << "fatal_error returned";
    } catch (const FatalError& error) {
        EXPECT_EQ(error.message, "Out of memory!");
    }
}

TEST(FatalErrorDeathTest, OperatorNewFailureIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            install_memory_handler();
            std::new_handler handler = std::get_new_handler();
            if (handler != nullptr) handler();
        },
        ::testing::ExitedWithCode(2), "^Fatal error: Out of memory!\n$");
}

// Short names across the boundary between the inline and the heap form
// (15 and 16 bytes), through copies, moves, assignment from a view of the
// name itself, and embedded NULs: the text, its size and the NUL after it
// must survive every step.
TEST(ShortNameString, KeepsTextAcrossInlineAndHeapForms) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{10}, size_t{11}, size_t{12}, size_t{15},
                              size_t{16}, size_t{40}}) {
        std::string text;
        for (size_t i = 0; i < size; ++i)
            text += static_cast<char>('a' + i % 26);
        ShortName name(text);
        EXPECT_EQ(name.view(), text);
        EXPECT_EQ(name.c_str()[size], '\0');
        ShortName copy = name;
        ShortName moved = std::move(copy);
        EXPECT_EQ(moved, text);
        EXPECT_TRUE(copy.empty());
        moved = moved.view().substr(size / 2); // a view of itself
        EXPECT_EQ(moved, text.substr(size / 2));
        name = "0123456789abcdefghij"; // inline or heap, to heap
        EXPECT_EQ(name, std::string("0123456789abcdefghij"));
        name = text; // and back
        EXPECT_EQ(name.size(), size);
        EXPECT_EQ(name, text);
    }
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(ShortName(with_nul).size(), 3u);
    EXPECT_NE(ShortName(with_nul), ShortName("a"));
}

// Attribute values across the boundary between the inline and the heap
// form (11 and 12 bytes), through copies, moves and assignment from a view
// of the value itself; and the difference between no value and an empty
// one, which a bare attribute name and name="" make.
TEST(AttrValueString, KeepsTextAndTheAbsenceOfAValue) {
    const AttrValue none;
    EXPECT_FALSE(none.has_value());
    EXPECT_EQ(none.size(), 0u);
    EXPECT_STREQ(none.c_str(), "");
    const AttrValue empty("");
    EXPECT_TRUE(empty.has_value());
    EXPECT_FALSE(none == empty);
    EXPECT_TRUE(none == AttrValue(std::nullopt));
    for (const size_t size : {size_t{0}, size_t{1}, size_t{10}, size_t{11}, size_t{12}, size_t{15},
                              size_t{16}, size_t{40}}) {
        std::string text;
        for (size_t i = 0; i < size; ++i)
            text += static_cast<char>('a' + i % 26);
        AttrValue value(text);
        EXPECT_TRUE(value.has_value());
        EXPECT_EQ(*value, text);
        EXPECT_EQ(value.size(), size);
        EXPECT_EQ(value.c_str()[size], '\0');
        AttrValue copy = value;
        AttrValue moved = std::move(copy);
        EXPECT_EQ(*moved, text);
        EXPECT_FALSE(copy.has_value());
        moved = moved.view().substr(size / 2); // a view of itself
        EXPECT_EQ(*moved, text.substr(size / 2));
        EXPECT_TRUE(moved.has_value());
        value = "0123456789abcdefghij"; // inline or heap, to heap
        EXPECT_EQ(*value, "0123456789abcdefghij");
        value = text; // and back
        EXPECT_EQ(*value, text);
        EXPECT_TRUE(value == AttrValue(text));
        AttrValue assigned; // no value, then a copy of one
        assigned = value;
        EXPECT_EQ(*assigned, text);
        assigned = none; // and back to none
        EXPECT_FALSE(assigned.has_value());
        value = std::nullopt;
        EXPECT_FALSE(value.has_value());
        EXPECT_EQ(value.value_or("fallback"), "fallback");
    }
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(AttrValue(with_nul).size(), 3u);
    EXPECT_FALSE(AttrValue(with_nul) == AttrValue("a"));
}

// The name index against an ordered map over the same rows: thousands of
// names (many sharing prefixes, some listed twice, one empty), each way of
// settling repeats, and names that were never listed (prefixes,
// extensions, other case). Among them names of one to three bytes that
// share their outer bytes, and names longer than eight bytes alike in their
// first and last four (whose keys are equal: only the whole names differ).
TEST(NameIndexTable, AgreesWithAMapOverTheSameRows) {
    struct Row {
        std::string name;
        int value;
    };
    std::vector<Row> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.push_back({"n" + std::to_string(i * 7919 % 10007), i});
        if (i % 3 == 0) rows.push_back({"n" + std::to_string(i * 7919 % 10007), -i});
    }
    rows.push_back({"", 99});
    int next = 5000;
    for (const char* name : {"a", "b", "aa", "ab", "ba", "aaa", "aba", "aab", "abb", "bab"})
        rows.push_back({name, next++});
    for (const std::string middle : {"", "x", "xy", "xyz", "yz", "zzzz", "zyx", "xyzzy"})
        rows.push_back({"abcd" + middle + "wxyz", next++});
    for (const auto repeats :
         {NameIndex<Row>::Repeats::FirstWins, NameIndex<Row>::Repeats::LastWins}) {
        const NameIndex<Row> index(
            rows.data(), rows.size(), [](const Row& r) { return std::string_view(r.name); },
            repeats);
        std::map<std::string, int> expected;
        for (const Row& r : rows) {
            if (repeats == NameIndex<Row>::Repeats::LastWins || expected.count(r.name) == 0)
                expected[r.name] = r.value;
        }
        for (const auto& [name, value] : expected) {
            const Row* found = index.find(name);
            ASSERT_NE(found, nullptr) << name;
            EXPECT_EQ(found->value, value) << name;
        }
        for (const std::string& absent :
             {std::string("n"), std::string("N1"), std::string("n10007"), std::string("n0x"),
              std::string(" n0"), std::string("bb"), std::string("bba"), std::string("abcdwxy"),
              std::string("abcdxxwxyz"), std::string("abcdxyzzwxyz")}) {
            EXPECT_EQ(index.find(absent), nullptr) << absent;
        }
    }
}

// Rows for indexes the compiler makes: names of each length the key treats
// apart (empty, under four bytes, four to eight, longer ones sharing their
// first and last four bytes) and names listed twice.
struct FixedRow {
    const char* name;
    int value;
};
constexpr FixedRow fixed_rows[] = {
    {"", 0},    {"a", 1},          {"ab", 2},         {"ba", 3},          {"abc", 4},
    {"acb", 5}, {"abcd", 6},       {"dcba", 7},       {"abcdwxyz", 8},    {"abcdxwxyz", 9},
    {"ab", 10}, {"abcdywxyz", 11}, {"abcdxwxyz", 12}, {"abcdxywxyz", 13},
};
constexpr auto fixed_row_name = [](const FixedRow& r) { return std::string_view(r.name); };
using FixedIndex = FixedNameIndex<FixedRow, std::size(fixed_rows), decltype(fixed_row_name)>;
constexpr FixedIndex first_wins(fixed_rows, std::size(fixed_rows), fixed_row_name,
                                FixedIndex::Repeats::FirstWins);
constexpr FixedIndex last_wins(fixed_rows, std::size(fixed_rows), fixed_row_name,
                               FixedIndex::Repeats::LastWins);

// Found while compiling: the program's own indexes are made this way.
static_assert(first_wins.find("ab")->value == 2 && last_wins.find("ab")->value == 10);
static_assert(first_wins.find("abcdxwxyz")->value == 9 && last_wins.find("abcdxwxyz")->value == 12);
static_assert(first_wins.find("abcdywxyz")->value == 11 && first_wins.find("")->value == 0);
static_assert(first_wins.find("abcdzwxyz") == nullptr && first_wins.find("bca") == nullptr);

TEST(NameIndexTable, MadeByTheCompilerAgreesWithOneMadeAtRunTime) {
    using RunTimeIndex = NameIndex<FixedRow, decltype(fixed_row_name)>;
    const RunTimeIndex run_first(fixed_rows, std::size(fixed_rows), fixed_row_name,
                                 RunTimeIndex::Repeats::FirstWins);
    const RunTimeIndex run_last(fixed_rows, std::size(fixed_rows), fixed_row_name,
                                RunTimeIndex::Repeats::LastWins);
    std::vector<std::string> names;
    for (const FixedRow& row : fixed_rows)
        names.push_back(row.name);
    for (const char* absent : {"b", "abd", "abcdwxy", "abcdzwxyz", "abcdxywxyy", "dcbaa"})
        names.push_back(absent);
    // The lookups run here, on names the compiler does not see, so the keys
    // the compiler stored must be the ones the running program computes.
    for (const std::string& name : names) {
        const std::string_view key = name;
        EXPECT_EQ(first_wins.find(key), run_first.find(key)) << name;
        EXPECT_EQ(last_wins.find(key), run_last.find(key)) << name;
    }
    EXPECT_EQ(last_wins.find(std::string("abcdxwxyz"))->value, 12);
}

// After the heap is moved, the blocks it hands out come from one stretch
// that starts on a large-page boundary and that the system may back with a
// large page. Runs in a fresh process (the move lasts for the rest of it,
// and the blocks other tests left free would serve the blocks asked for).
TEST(HeapOnLargePage, BlocksComeFromOneAlignedStretch) {
    if (!HeapMovesToLargePage) GTEST_SKIP() << "the heap is not glibc's own here";
    const auto moved = [] {
        void* const page = move_heap_to_large_page();
        // Sizes no earlier block of this process is likely to have left
        // free: they are carved from the top of the heap, in order.
        std::vector<unsigned char*> blocks;
        for (size_t bytes : {size_t{150000}, size_t{300000}, size_t{1000000}})
            blocks.push_back(static_cast<unsigned char*>(malloc(bytes)));
        const uintptr_t first = reinterpret_cast<uintptr_t>(blocks[0]);
        const uintptr_t base = first & ~(uintptr_t{LargePageBytes} - 1);
        int fails = 0;
        if (first - base > 64) fails |= 1; // just past the boundary
        if (page != reinterpret_cast<void*>(base)) fails |= 16;
        for (unsigned char* block : blocks) {
            const uintptr_t at = reinterpret_cast<uintptr_t>(block);
            if (at < base || at >= base + LargePageBytes) fails |= 2;
        }
        std::memset(blocks[2], 0x6B, 1000000);
        if (std::count(blocks[2], blocks[2] + 1000000, 0x6B) != 1000000) fails |= 4;
        // Where the system offers large pages, the stretch may have one.
        if (!test::large_pages_offered()) test::exit_with_failures(fails);
        FILE* maps = fopen("/proc/self/smaps", "r");
        char line[256];
        bool inside = false, eligible = false;
        while (maps != nullptr && fgets(line, sizeof line, maps) != nullptr) {
            unsigned long from = 0, to = 0;
            if (std::sscanf(line, "%lx-%lx ", &from, &to) == 2) {
                inside = from <= base && base < to;
            } else if (inside && std::strncmp(line, "THPeligible:", 12) == 0) {
                eligible = eligible || std::strtol(line + 12, nullptr, 10) == 1;
            }
        }
        if (maps != nullptr) fclose(maps);
        if (!eligible) fails |= 8;
        test::exit_with_failures(fails);
    };
    test::expect_clean_exit_in_fresh_process(moved);
}

#ifdef VARNEL_HEAP_MOVES // (mallinfo2 is glibc's, from 2.33)
// The pages of the heap's free top that a small run backs ahead are
// present before anything is written there, and the ones past them are not.
TEST(HeapBackedAhead, TheNextBlocksPagesArePresentBeforeTheyAreWritten) {
    const auto backed = [] {
        constexpr uintptr_t Page = 4096;
        // A block carved from the top and given back: its pages were never
        // written, and the heap now reaches well past the top.
        void* block = malloc(100000);
        asm volatile("" : : "r"(block) : "memory");
        free(block);
        const uintptr_t end = reinterpret_cast<uintptr_t>(sbrk(0));
        const uintptr_t from = (end - mallinfo2().keepcost) & ~(Page - 1);
        if (end < from + HeapBackedAheadBytes + 4 * Page) std::exit(1);
        const auto present = [](uintptr_t at) {
            unsigned char in_memory = 0;
            return mincore(reinterpret_cast<void*>(at), Page, &in_memory) == 0 &&
                   (in_memory & 1) != 0;
        };
        int fails = 0;
        int absent = 0;
        for (uintptr_t at = from + Page; at < from + HeapBackedAheadBytes; at += Page)
            absent += present(at) ? 0 : 1;
        if (absent < 4) fails |= 2; // (nothing to show)
        back_heap_ahead(HeapBackedAheadBytes);
        for (uintptr_t at = from; at < from + HeapBackedAheadBytes; at += Page) {
            if (!present(at)) fails |= 4;
        }
        if (present(from + HeapBackedAheadBytes + 2 * Page)) fails |= 8;
        test::exit_with_failures(fails);
    };
    test::expect_clean_exit_in_fresh_process(backed);
}
#endif

} // namespace
} // namespace varnel
