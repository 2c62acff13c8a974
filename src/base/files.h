// A set of files known by identity (device and inode), so that every name
// of a file, links included, is the same file. The run keeps the documents
// it reads in one: no output (error file, slide, stale slide clean-up) may
// overwrite or delete them. Safe to use from several threads at once.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <mutex>
#include <set>
#include <utility>

namespace varnel {

// The size of the stdio buffer of every file the program reads or writes
// whole (input files, standard input and output, written-back files). The
// input stream and the printer read and write through 16 KiB blocks of
// their own, which stdio passes straight through when its buffer is
// smaller; its buffer then only gathers the small reads and writes (the
// look at a page's first bytes for its encoding, messages, help). Kept
// small so that a page's bytes are not copied through a second buffer:
// every 4 KiB of memory a run touches costs it a page fault.
constexpr size_t StreamBufferSize = size_t{1} << 12;

class FileSet {
  public:
    void add(const struct stat& info);
    bool contains(const struct stat& info) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::set<std::pair<dev_t, ino_t>> files_;
};

} // namespace varnel
