// The registry of temporary files and the signal handlers that clean up.
#include "cli/signals.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace varnel {

namespace {

// One registered temporary file. A slot is taken (Free -> Filling), its
// name written, and then published (Registered); the handler only reads
// published slots. A thread looking for its own file takes each published
// slot while it reads the name (Registered -> Checking), so that no other
// thread can free the slot and write a new name into it meanwhile; the
// name of a slot being checked stays valid for the handler. The names live
// in fixed buffers, so that a signal handler can use them without touching
// the heap.
enum SlotState : int { Free = 0, Filling = 1, Registered = 2, Checking = 3 };

struct Slot {
    std::atomic<int> state{Free};
    char name[PATH_MAX];
};

// As many write-backs as can be under way at once (one per thread of the
// program, and more than it ever starts).
constexpr int SlotCount = 256;

// The registry and the signal state: process-wide because a signal handler
// can reach nothing else.
struct Registry {
    Slot slots[SlotCount];
    std::atomic<int> held{0};    // steps under way that a signal must not cut
    std::atomic<int> pending{0}; // a signal that arrived during such a step
    std::atomic<bool> installed{false};
};

// The registry's megabyte of name buffers is zeroed data that a run which
// writes no file never touches. Left among the rest of the zeroed data, it
// would stand between the program's and the C library's, and the pages
// every run writes there would lie in two 2 MiB stretches of the address
// space, each needing a page table of its own (made, and torn down at the
// end, on every run). With GCC on x86-64 it goes to the large-data
// section, which the linker places after all other zeroed data.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VARNEL_AFTER_OTHER_ZEROED_DATA __attribute__((section(".lbss.varnel_registry")))
#else
#define VARNEL_AFTER_OTHER_ZEROED_DATA
#endif

Registry& registry() {
    VARNEL_AFTER_OTHER_ZEROED_DATA static Registry instance;
    return instance;
}

// The signals that end the run and must not leave a temporary file behind.
constexpr int exit_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

// Removes the temporary files and ends the process with the signal's
// default action (the handler was installed with SA_RESETHAND).
void act_on(int signal_number) {
    remove_temporary_files();
    raise(signal_number);
}

extern "C" void on_exit_signal(int signal_number) {
    Registry& r = registry();
    r.pending.store(signal_number);
    // A held step finishes first: the last one to end acts on the signal.
    if (r.held.load() > 0) return;
    if (r.pending.exchange(0) != 0) act_on(signal_number);
}

// Installs the handler for each exit signal that still has its default
// action; signals the caller chose to ignore (nohup, background jobs) stay
// ignored.
void install_exit_handlers() {
    if (registry().installed.exchange(true)) return;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_exit_signal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int s : exit_signals)
        sigaddset(&action.sa_mask, s);
    for (int s : exit_signals) {
        struct sigaction current;
        if (sigaction(s, nullptr, &current) != 0) continue;
        if (current.sa_handler != SIG_DFL || (current.sa_flags & SA_SIGINFO) != 0) continue;
        sigaction(s, &action, nullptr);
    }
}

void on_created(void*, const char* path) {
    install_exit_handlers();
    if (strlen(path) >= PATH_MAX) return; // the library refuses such names
    for (Slot& slot : registry().slots) {
        int expected = Free;
        if (!slot.state.compare_exchange_strong(expected, Filling)) continue;
        memcpy(slot.name, path, strlen(path) + 1);
        slot.state.store(Registered);
        return;
    }
}

void on_finished(void*, const char* path) {
    for (Slot& slot : registry().slots) {
        // Take a published slot; one another thread is reading may be
        // ours, so wait for it rather than pass it by.
        int state = slot.state.load();
        for (;;) {
            if (state == Checking) {
                state = slot.state.load();
                continue;
            }
            if (state != Registered || slot.state.compare_exchange_weak(state, Checking)) break;
        }
        if (state != Registered) continue;
        if (strcmp(slot.name, path) == 0) {
            slot.state.store(Free);
            return;
        }
        slot.state.store(Registered);
    }
}

// (The library holds the signals of the thread that runs the step; a
// signal another thread takes meanwhile waits for the step to end.)
void on_hold(void*) {
    registry().held.fetch_add(1);
}

void on_release(void*) {
    Registry& r = registry();
    if (r.held.fetch_sub(1) == 1) {
        const int signal_number = r.pending.exchange(0);
        if (signal_number != 0) act_on(signal_number);
    }
}

const FileEvents events = {nullptr, on_created, on_finished, on_hold, on_release};

void out_of_memory() {
    fatal_exit("Out of memory!");
}

} // namespace

const FileEvents* file_events() {
    return &events;
}

void remove_temporary_files() {
    for (Slot& slot : registry().slots) {
        const int state = slot.state.load();
        if (state == Registered || state == Checking) unlink(slot.name);
    }
}

void fatal_exit(const char* message) {
    remove_temporary_files();
    fprintf(stderr, "Fatal error: %s\n", message);
    exit(2);
}

void install_memory_handler() {
    std::set_new_handler(out_of_memory);
}

} // namespace varnel
