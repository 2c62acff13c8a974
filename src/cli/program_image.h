// The program's own image in memory: its code and constants, mapped from
// the executable file as they are first touched. A run over a small page
// touches much of them, and each first touch of a 64 KiB stretch is a
// page fault of its own; map_program_image maps them in one system call
// instead. The program's entry (main.cpp) calls it before
// the C library starts, since the library's own start-up touches a dozen
// of those stretches.
//
// The entry also hides the system's vDSO from the C library (hide_vdso):
// the library's start-up would otherwise read the vDSO's symbol table to
// find its clock routines, which the program never calls.
#pragma once

#include <cstdint>

namespace varnel {

// Maps every page of the read-only parts (code, constants) of the
// executable this process runs, now; where it is linked with its layout
// (see cmake/program_layout.ld), only the code and constants that layout
// gathers for a run over an ordinary page. Safe before the C library is set up:
// it calls nothing, keeps no state and touches no thread-local storage.
// Returns false where the system cannot (before Linux 5.14, or on a
// processor this is not written for); the pages are then mapped as they
// are touched, as usual. (The name in the symbol table is the one the
// entry code calls.)
bool map_program_image() __asm__("varnel_map_program_image");

// Marks the vDSO's entry of the auxiliary vector that follows the
// environment on the process's initial stack (`stack` is the stack pointer
// at entry: the argument count, the arguments, the environment) as one to
// ignore. The C library then neither reads the vDSO (two pages touched, in
// a stretch of address space that needs page tables of its own, and a
// symbol lookup for each clock routine) nor calls it: its clock routines
// make system calls instead. Safe before the C library is set up, like
// map_program_image.
void hide_vdso(uintptr_t* stack) __asm__("varnel_hide_vdso");

} // namespace varnel
