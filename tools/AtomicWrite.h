// SPDX-License-Identifier: MIT
// Writes that never leave a half-written file: the bytes go to a temporary file beside the
// target (unnamed where the file system allows it), are flushed to the disk, and the file is
// renamed over the target only when complete. A failed write leaves the old file as it was and
// no temporary file behind; so does SIGINT, SIGTERM or SIGHUP once InstallCleanupHandlers() ran,
// and so does SIGKILL wherever the file system offers unnamed temporary files (O_TMPFILE).
#pragma once

#include <string>

namespace lumeo {

// Unlinks the temporary files being written when SIGINT, SIGTERM or SIGHUP arrives, then lets
// the signal end the process as it would have. Call once, early in main().
void InstallCleanupHandlers();

// Writes `bytes` to `path` as described above; throws std::runtime_error with the reason
// ("cannot write PATH: No space left on device"). A symbolic link is followed to the file it
// names, which is replaced; a target that exists and is not a regular file (a device such as
// /dev/null or /dev/full, a FIFO) or that lies under /dev or /proc is written in place.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// The same for `name` (one path component) in the directory open as `dirFd`. The name is never
// followed: when it is a symbolic link or anything but a regular file the write is refused.
// `shown` is the path used in messages. Without `syncFolder` the caller flushes the folder itself
// (once for many files) to make the renames durable.
void WriteFileAt(int dirFd, const std::string& name, const std::string& bytes, const std::string& shown,
                 bool syncFolder = true);

} // namespace lumeo
