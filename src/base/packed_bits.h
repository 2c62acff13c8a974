// Pointers kept in six bytes (four where addresses have 32 bits). On Linux
// a program's addresses fit in 48 bits (the x86-64 and AArch64 address
// spaces that Linux gives a program without being asked for more), so the
// two top bytes of a pointer are always zero. The tree's records keep
// their tags, element names and links to the constant tables this way
// (links between records are smaller still: model/packed_ptr.h): every
// byte a record saves is memory, page faults and cache misses saved on
// every node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace varnel {

// The bytes a packed pointer takes.
inline constexpr size_t PackedPointerBytes = sizeof(void*) < 6 ? sizeof(void*) : 6;
static_assert(PackedPointerBytes == 4 || PackedPointerBytes == 6);

// Ends the program: a pointer that six bytes cannot hold (a system this
// build was not made for). It goes out through the out-of-memory exit:
// memory a record cannot point at is memory it cannot have.
[[noreturn]] void pointer_too_wide();

// Writes `pointer` into the PackedPointerBytes bytes at `to`.
inline void store_packed_pointer(unsigned char* to, const void* pointer) {
    const auto bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
    if ((bits >> 48) != 0) pointer_too_wide();
    const auto low = static_cast<uint32_t>(bits);
    std::memcpy(to, &low, sizeof low);
    if constexpr (PackedPointerBytes == 6) {
        const auto high = static_cast<uint16_t>(bits >> 32);
        std::memcpy(to + 4, &high, sizeof high);
    }
}

// Reads the pointer that store_packed_pointer wrote at `from`.
template <typename T> T* load_packed_pointer(const unsigned char* from) {
    uint32_t low;
    std::memcpy(&low, from, sizeof low);
    uint64_t bits = low;
    if constexpr (PackedPointerBytes == 6) {
        uint16_t high;
        std::memcpy(&high, from + 4, sizeof high);
        bits |= uint64_t{high} << 32;
    }
    return reinterpret_cast<T*>(static_cast<uintptr_t>(bits));
}

} // namespace varnel
