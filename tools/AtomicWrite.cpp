// SPDX-License-Identifier: MIT
#include "AtomicWrite.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace lumeo {
namespace {

// The temporary files that have a name at the moment, for the signal handler to unlink. A slot
// is claimed by one writer at a time; the handler reads only slots marked live.
struct Slot
{
    std::atomic<bool> claimed{false};
    std::atomic<bool> live{false};
    int dirFd = -1;
    char name[NAME_MAX + 1] = {};
};

constexpr size_t kSlots = 256;
Slot g_slots[kSlots];
std::atomic<bool> g_dying{false}; // a signal is ending the process

void OnSignal(int sig)
{
    g_dying.store(true);
    for (Slot& s : g_slots) {
        if (s.live.load()) {
            ::unlinkat(s.dirFd, s.name, 0);
        }
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig); // delivered when the handler returns: the process ends as the signal asks
}

// Keeps a temporary file's name where the signal handler finds it while alive.
class Registration
{
public:
    Registration(int dirFd, const std::string& name)
    {
        for (Slot& s : g_slots) {
            bool expected = false;
            if (s.claimed.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
                m_slot = &s;
                break;
            }
        }
        if (m_slot != nullptr) { // with every slot taken the file is merely not cleaned up on a signal
            m_slot->dirFd = dirFd;
            std::snprintf(m_slot->name, sizeof m_slot->name, "%s", name.c_str());
            m_slot->live.store(true);
        }
    }

    ~Registration()
    {
        if (m_slot != nullptr) {
            m_slot->live.store(false, std::memory_order_release);
            m_slot->claimed.store(false, std::memory_order_release);
        }
    }

    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    Slot* m_slot = nullptr;
};

// Called by a writer once its temporary file has a name. The handler unlinks every name
// registered when it runs; a name that got there meanwhile is the writer's to remove, and it goes
// no further while the signal ends the process.
void StopIfDying(int dirFd, const std::string& tmp)
{
    if (g_dying.load()) {
        ::unlinkat(dirFd, tmp.c_str(), 0);
        for (;;) {
            ::pause();
        }
    }
}

[[noreturn]] void Fail(const std::string& shown, int error)
{
    throw std::runtime_error("cannot write " + shown + ": " + std::strerror(error));
}

// A name for a temporary file beside `name`, unlikely to be taken (creation checks anyway).
std::string TemporaryName(const std::string& name)
{
    static std::atomic<unsigned long> counter{0};
    const auto now = static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".lumeo-%lx-%lx-%lx.tmp", static_cast<unsigned long>(::getpid()),
                  counter++, now & 0xFFFFFFul);
    return "." + name.substr(0, 160) + suffix;
}

bool WriteAll(int fd, const std::string& bytes, int& error)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Closes a descriptor once, on every path.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd)
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    // Closes now and returns 0, or the error of close().
    int Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int m_fd;
};

// Links the unnamed file `fd` into the directory as `name`; false with errno set on failure.
bool LinkUnnamed(int fd, int dirFd, const std::string& name)
{
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, proc.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno != ENOENT) {
        return false;
    }
    return ::linkat(fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0; // no /proc: needs privileges
}

// Writes the bytes to a new file and puts it in place of `name`. `mode` < 0: a new file (the
// permissions the umask leaves of 0666); else the permissions of the file it replaces.
void Replace(int dirFd, const std::string& name, const std::string& bytes, const std::string& shown, int mode,
             bool syncFolder)
{
    const bool existed = mode >= 0;
    int error = 0;
    Fd file(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    std::string tmp; // the temporary file's name while it has one
    std::unique_ptr<Registration> registration;
    const auto removeTemporary = [&] {
        if (!tmp.empty()) {
            ::unlinkat(dirFd, tmp.c_str(), 0);
        }
    };
    if (file.Get() < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
            Fail(shown, errno);
        }
        // No unnamed files here: a named one, registered before it exists.
        for (int attempt = 0; attempt < 100 && file.Get() < 0; ++attempt) {
            tmp = TemporaryName(name);
            registration = std::make_unique<Registration>(dirFd, tmp);
            const int fd = ::openat(dirFd, tmp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd >= 0) {
                file.Reset(fd);
                StopIfDying(dirFd, tmp);
                break;
            }
            error = errno;
            registration.reset();
            tmp.clear();
            if (error != EEXIST) {
                Fail(shown, error);
            }
        }
        if (file.Get() < 0) {
            Fail(shown, EEXIST);
        }
    }
    if (existed) {
        ::fchmod(file.Get(), static_cast<mode_t>(mode) & 07777);
    }
    if (!WriteAll(file.Get(), bytes, error) || (::fsync(file.Get()) != 0 && (error = errno) != 0)) {
        removeTemporary();
        Fail(shown, error);
    }
    if (tmp.empty()) {
        // The unnamed file: straight to its name when there is no file to replace, else under a
        // temporary name that the rename below takes away.
        if (!existed && LinkUnnamed(file.Get(), dirFd, name)) {
            file.Close();
            if (syncFolder) {
                ::fsync(dirFd);
            }
            return;
        }
        if (!existed && errno != EEXIST) {
            Fail(shown, errno);
        }
        bool linked = false;
        for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
            tmp = TemporaryName(name);
            registration = std::make_unique<Registration>(dirFd, tmp);
            linked = LinkUnnamed(file.Get(), dirFd, tmp);
            if (linked) {
                StopIfDying(dirFd, tmp);
            } else if (errno != EEXIST) {
                error = errno;
                registration.reset();
                Fail(shown, error);
            }
        }
        if (!linked) {
            Fail(shown, EEXIST);
        }
    }
    if ((error = file.Close()) != 0 || ::renameat(dirFd, tmp.c_str(), dirFd, name.c_str()) != 0) {
        error = error != 0 ? error : errno;
        removeTemporary();
        Fail(shown, error);
    }
    if (syncFolder) {
        ::fsync(dirFd); // the rename itself on the disk; some file systems refuse, which changes nothing
    }
}

// Devices, FIFOs and the like: written as they are, in place.
void WriteInPlace(const std::string& path, const std::string& bytes)
{
    Fd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    int error = 0;
    if (file.Get() < 0) {
        Fail(path, errno);
    }
    if (!WriteAll(file.Get(), bytes, error) || (error = file.Close()) != 0) {
        Fail(path, error);
    }
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

} // namespace

void InstallCleanupHandlers()
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current{};
        if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
            continue; // ignored on purpose (nohup): stays ignored
        }
        struct sigaction action{};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
}

void WriteFileAtomically(const std::string& path, const std::string& bytes)
{
    namespace fs = std::filesystem;
    if (StartsWith(path, "/dev/") || StartsWith(path, "/proc/")) {
        WriteInPlace(path, bytes);
        return;
    }
    std::string target = path;
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // The file the link names is replaced; a dangling link is written through as before.
        char resolved[PATH_MAX];
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::realpath(path.c_str(), resolved) == nullptr) {
            WriteInPlace(path, bytes);
            return;
        }
        target = resolved;
    }
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        WriteInPlace(target, bytes);
        return;
    }
    const fs::path p(target);
    const std::string name = p.filename().string();
    if (name.empty() || name == "." || name == "..") {
        Fail(path, EISDIR);
    }
    const std::string dir = p.has_parent_path() ? p.parent_path().string() : ".";
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() < 0) {
        Fail(path, errno);
    }
    Replace(dirFd.Get(), name, bytes, path, exists ? static_cast<int>(st.st_mode) : -1, true);
}

void WriteFileAt(int dirFd, const std::string& name, const std::string& bytes, const std::string& shown,
                 bool syncFolder)
{
    struct stat st{};
    const bool exists = ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        throw std::runtime_error("cannot write " + shown + ": it is a symbolic link, which is not followed");
    }
    if (exists && !S_ISREG(st.st_mode)) {
        throw std::runtime_error("cannot write " + shown + ": it exists and is not a regular file");
    }
    Replace(dirFd, name, bytes, shown, exists ? static_cast<int>(st.st_mode) : -1, syncFolder);
}

} // namespace lumeo
