// Writing a result back into its file through a temporary file.
#include "api/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/files.h"

namespace varnel {

namespace {

class Temporary;

// Holds back the signals that end the run while it lives, so that a step
// such as a rename and the record that follows it cannot be cut in half:
// those of the calling thread are blocked, and the caller's hooks hold
// those another thread may take.
class Hold {
  public:
    explicit Hold(Temporary& temporary);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

  private:
    Temporary& temporary_;
    sigset_t saved_;
};

// The temporary file of one write-back: made, then renamed, kept or
// removed; the caller's hooks hear of each. Removed when it goes out of
// scope still unsettled (a fatal error while writing it).
class Temporary {
  public:
    explicit Temporary(const FileEvents* events) : events_(events) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() { remove(); }

    // Creates the file from `name_template` (ending in "XXXXXX", as for
    // mkstemp); its descriptor, or -1 with errno set.
    int create(const std::string& name_template) {
        if (name_template.size() >= PATH_MAX) {
            errno = ENAMETOOLONG;
            return -1;
        }
        std::vector<char> name(name_template.begin(), name_template.end());
        name.push_back('\0');
        return create_held(name);
    }
    const std::string& name() const { return name_; }
    // Unlinks the file and forgets it.
    void remove() {
        if (name_.empty()) return;
        unlink(name_.c_str());
        settle();
    }
    // Forgets the file without removing it (it was renamed, or it is kept
    // on purpose).
    void settle() {
        if (name_.empty()) return;
        if (events_ != nullptr && events_->finished != nullptr)
            events_->finished(events_->context, name_.c_str());
        name_.clear();
    }
    void hold() {
        if (events_ != nullptr && events_->hold != nullptr) events_->hold(events_->context);
    }
    void release_hold() {
        if (events_ != nullptr && events_->release != nullptr) events_->release(events_->context);
    }

  private:
    int create_held(std::vector<char>& name);

    const FileEvents* events_;
    std::string name_;
};

Hold::Hold(Temporary& temporary) : temporary_(temporary) {
    sigset_t block;
    sigemptyset(&block);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ})
        sigaddset(&block, s);
    pthread_sigmask(SIG_BLOCK, &block, &saved_);
    temporary_.hold();
}

Hold::~Hold() {
    temporary_.release_hold();
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

int Temporary::create_held(std::vector<char>& name) {
    Hold hold(*this);
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
        name_ = name.data();
        if (events_ != nullptr && events_->created != nullptr)
            events_->created(events_->context, name_.c_str());
    }
    return fd;
}

std::string error_text(int error) {
    return strerror(error != 0 ? error : EIO);
}

// Closes a descriptor when the scope ends.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int value) : fd(value) {}
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// The names of the extended attributes of an open file; empty when the file
// has none or its file system keeps none.
std::vector<std::string> attribute_names(int fd) {
    std::vector<std::string> names;
    ssize_t size = flistxattr(fd, nullptr, 0);
    if (size <= 0) return names;
    std::vector<char> list(static_cast<size_t>(size));
    size = flistxattr(fd, list.data(), list.size());
    if (size <= 0) return names;
    for (size_t i = 0; i < static_cast<size_t>(size);) {
        std::string name(list.data() + i);
        i += name.size() + 1;
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

// Makes the extended attributes of `to` those of `from` (ACLs and security
// labels included): adds or replaces each of the original's, and removes
// those the new file got that the original does not have (a directory's
// default ACL, for one). False when any of them cannot be carried over.
bool copy_attributes(int from, int to) {
    std::vector<std::string> wanted = attribute_names(from);
    for (const std::string& name : attribute_names(to)) {
        bool keep = false;
        for (const std::string& w : wanted)
            keep = keep || w == name;
        if (!keep && fremovexattr(to, name.c_str()) != 0) return false;
    }
    for (const std::string& name : wanted) {
        ssize_t size = fgetxattr(from, name.c_str(), nullptr, 0);
        if (size < 0) return false;
        std::vector<char> value(static_cast<size_t>(size) + 1);
        size = fgetxattr(from, name.c_str(), value.data(), value.size());
        if (size < 0) return false;
        if (fsetxattr(to, name.c_str(), value.data(), static_cast<size_t>(size), 0) != 0)
            return false;
    }
    return true;
}

// Gives the new file the original's owner, group, extended attributes and
// permission bits; false when it does not end up with all of them.
bool copy_file_identity(int original, const struct stat& info, int fd) {
    // Ownership first: changing it may clear set-id bits that chmod then
    // restores. Only a privileged user may give a file away.
    if (fchown(fd, info.st_uid, info.st_gid) != 0) {
        // Checked below: the new file keeps ours.
    }
    if (!copy_attributes(original, fd)) return false;
    if (fchmod(fd, info.st_mode & 07777) != 0) return false;
    struct stat now;
    return fstat(fd, &now) == 0 && now.st_uid == info.st_uid && now.st_gid == info.st_gid &&
           (now.st_mode & 07777) == (info.st_mode & 07777);
}

// Copies the finished temporary file into the original in place. Signals
// that end the run are held meanwhile, so the original is never left half
// written by them. When the copy fails after the original was changed, the
// temporary file is kept and named in the reason.
bool copy_into_place(Temporary& temporary, const std::string& target, const struct stat& info,
                     ReplaceFailure* failure) {
    Hold hold(temporary);
    auto fail = [&](std::string reason) {
        failure->reason = std::move(reason);
        temporary.remove();
        return false;
    };
    const std::string cannot = "can't write into it: ";
    Descriptor out(open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (out.fd < 0) return fail(cannot + error_text(errno));
    struct stat now;
    if (fstat(out.fd, &now) != 0) return fail(cannot + error_text(errno));
    if (now.st_dev != info.st_dev || now.st_ino != info.st_ino || !S_ISREG(now.st_mode))
        return fail("it was replaced while it was being read");
    Descriptor in(open(temporary.name().c_str(), O_RDONLY | O_CLOEXEC));
    struct stat result;
    if (in.fd < 0 || fstat(in.fd, &result) != 0)
        return fail("can't read the temporary file: " + error_text(errno));
    // Claim the room for a longer text first, so that a full disk is found
    // before the original is touched.
    if (result.st_size > now.st_size) {
        int error = posix_fallocate(out.fd, now.st_size, result.st_size - now.st_size);
        if (error == ENOSPC || error == EDQUOT || error == EFBIG)
            return fail(cannot + error_text(error));
    }
    int error = 0;
    std::vector<char> buffer(size_t{1} << 16);
    char* const chunk = buffer.data();
    off_t offset = 0;
    for (;;) {
        ssize_t got = read(in.fd, chunk, buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        for (ssize_t done = 0; done < got && error == 0;) {
            ssize_t put = pwrite(out.fd, chunk + done, static_cast<size_t>(got - done), offset);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                error = put < 0 ? errno : EIO;
                break;
            }
            done += put;
            offset += put;
        }
        if (error != 0) break;
    }
    if (error == 0 && ftruncate(out.fd, offset) != 0) error = errno;
    if (error == 0 && fsync(out.fd) != 0) error = errno;
    if (error == 0 && close(out.fd) != 0) error = errno;
    out.fd = -1;
    if (error != 0) {
        failure->reason =
            cannot + error_text(error) + "; the complete result is in \"" + temporary.name() + "\"";
        failure->result_kept = true;
        temporary.settle();
        return false;
    }
    temporary.remove();
    return true;
}

// The name of the temporary file beside `target`: ".<name>.varnel-XXXXXX",
// with the name shortened when the whole would be too long for a directory
// entry.
std::string temporary_template(const std::string& target) {
    constexpr size_t MaxEntryLength = NAME_MAX;
    const char* const suffix = ".varnel-XXXXXX";
    size_t base = target.rfind('/');
    base = base == std::string::npos ? 0 : base + 1;
    std::string name = target.substr(base);
    size_t room = MaxEntryLength - 1 - strlen(suffix);
    if (name.size() > room) name.resize(room);
    return target.substr(0, base) + "." + name + suffix;
}

} // namespace

bool replace_file_contents(const char* path, void (*write)(FILE* sink, void* context),
                           void* context, ReplaceFailure* failure, const FileEvents* events) {
    ReplaceFailure ignored;
    if (failure == nullptr) failure = &ignored;
    auto refuse = [&](std::string reason) {
        failure->reason = std::move(reason);
        return false;
    };
    // Write the file a link points at, so that the link survives.
    std::string target = path;
    if (char* resolved = realpath(path, nullptr)) {
        target = resolved;
        free(resolved);
    }
    Descriptor original(open(target.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (original.fd < 0) return refuse(error_text(errno));
    struct stat info;
    if (fstat(original.fd, &info) != 0) return refuse(error_text(errno));
    if (!S_ISREG(info.st_mode)) return refuse("not a regular file");
    // The rename needs only the directory's permission: ask for the file's.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return refuse("not writable: " + error_text(errno));

    Temporary temporary(events);
    int fd = temporary.create(temporary_template(target));
    if (fd < 0) return refuse("can't create a temporary file beside it: " + error_text(errno));
    // A file with several names stays one file only when it is written in
    // place; so does one whose owner, group or attributes a new file could
    // not be given.
    bool in_place = info.st_nlink > 1 || !copy_file_identity(original.fd, info, fd);
    FILE* sink = fdopen(fd, "w");
    if (sink == nullptr) {
        int error = errno;
        close(fd);
        temporary.remove();
        return refuse("can't write the temporary file: " + error_text(error));
    }
    std::unique_ptr<char[]> buffer(new char[StreamBufferSize]);
    setvbuf(sink, buffer.get(), _IOFBF, StreamBufferSize);
    try {
        write(sink, context);
    } catch (...) {
        fclose(sink);
        throw; // the temporary file goes with `temporary`
    }
    int error = 0;
    if (fflush(sink) != 0) {
        error = errno;
    } else if (ferror(sink)) {
        error = EIO;
    } else if (fsync(fileno(sink)) != 0) {
        error = errno;
    }
    if (fclose(sink) != 0 && error == 0) error = errno;
    if (error != 0) {
        temporary.remove();
        return refuse("can't write the temporary file: " + error_text(error));
    }
    if (!in_place) {
        Hold hold(temporary);
        if (rename(temporary.name().c_str(), target.c_str()) == 0) {
            temporary.settle();
            return true;
        }
        // A sticky or otherwise guarded directory, or a file mounted on its
        // own, forbids the rename: write into the file instead.
    }
    return copy_into_place(temporary, target, info, failure);
}

} // namespace varnel
