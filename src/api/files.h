// Writing a result back into its file without ever losing the file: the
// text goes into a temporary file beside it first, which then replaces the
// original in one step, or is copied into it in place when a new file
// could not stand for it.
//
// The library installs no signal handlers: it tells the caller, through
// FileEvents, which temporary file exists and which steps must not be cut
// in half, and the program (src/cli) removes the temporary files when a
// signal stops the run.
#pragma once

#include <cstdio>
#include <string>

namespace varnel {

// Hooks for the caller that watches the temporary files; any of them may be
// null.
struct FileEvents {
    void* context = nullptr;
    // A temporary file was made: it is to be removed if the run is stopped
    // before it is renamed or kept.
    void (*created)(void* context, const char* path) = nullptr;
    // The temporary file was renamed, kept or removed: no longer to be
    // removed.
    void (*finished)(void* context, const char* path) = nullptr;
    // A step that must not be cut in half by a signal (a rename and the
    // record that follows it, a copy into the original) starts and ends.
    void (*hold)(void* context) = nullptr;
    void (*release)(void* context) = nullptr;
};

// Why a write-back did not happen.
struct ReplaceFailure {
    std::string reason;       // what went wrong, for the message
    bool result_kept = false; // the complete result survives in a temporary
                              // file (named in `reason`); the original was
                              // partly overwritten
};

// Replaces the contents of the regular file `path` (through a symbolic
// link: of its target) with what `write` puts into a stream. The text goes
// into a new temporary file beside the file first (named
// ".NAME.varnel-XXXXXX"). When the file has a single name and the new file
// can be given its owner, group, permission bits and extended attributes,
// the new file is renamed over it; otherwise (several hard links, an owner
// the user cannot give away, a directory that forbids the rename) the
// finished text is copied into the original file in place, so that it
// stays the same file. Refuses files that are not regular or that the user
// may not write. Returns false, with the reason in `failure`, when the file
// was not replaced. A name too long for a file name (PATH_MAX) is refused
// as such. When `write` throws (a fatal error), the temporary file is
// removed and the exception passes on.
bool replace_file_contents(const char* path, void (*write)(FILE* sink, void* context),
                           void* context, ReplaceFailure* failure = nullptr,
                           const FileEvents* events = nullptr);

} // namespace varnel
