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
// whole (input files, standard input and output, written-back files): a
// system call per 64 KiB costs nothing measurable, and the buffers stay a
// small part of the memory a page needs.
constexpr size_t StreamBufferSize = size_t{1} << 16;

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
