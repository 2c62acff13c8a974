// The set of files known by identity.
#include "base/files.h"

namespace varnel {

void FileSet::add(const struct stat& info) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.emplace(info.st_dev, info.st_ino);
}

bool FileSet::contains(const struct stat& info) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.count({info.st_dev, info.st_ino}) != 0;
}

void FileSet::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.clear();
}

} // namespace varnel
