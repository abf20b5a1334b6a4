// SPDX-License-Identifier: MIT
#include "support/CappedChild.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BARCODE_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define BARCODE_TEST_ASAN 1
#endif


void WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

[[noreturn]] void RunChild(int fd, std::size_t ceilingBytes, const std::function<std::string()>& body)
{
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    LowerCeiling(ceilingBytes);
    std::string complaints;
    try {
        complaints = body();
    } catch (const std::bad_alloc&) {
        complaints = "memory ceiling breached (std::bad_alloc reached the test)\n";
    } catch (const std::exception& e) {
        complaints = std::string("exception reached the test: ") + e.what() + "\n";
    }
    WriteAll(fd, complaints);
    close(fd);
    _exit(0);
}

} // namespace

std::size_t MappedBytes()
{
    unsigned long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) {
            pages = 0;
        }
        std::fclose(f);
    }
    return static_cast<std::size_t>(pages) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

bool CeilingApplies()
{
#ifdef BARCODE_TEST_ASAN
    return false;
#else
    return true;
#endif
}

void LowerCeiling(std::size_t extraBytes)
{
    if (CeilingApplies()) {
        const rlim_t limit = static_cast<rlim_t>(MappedBytes() + extraBytes);
        const rlimit ceiling{limit, limit};
        setrlimit(RLIMIT_AS, &ceiling);
    }
}

std::string RunCapped(std::size_t ceilingBytes, const std::function<std::string()>& body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    int fds[2];
    if (pipe(fds) != 0) {
        return "pipe failed\n";
    }
    const pid_t pid = fork();
    if (pid < 0) {
        return "fork failed\n";
    }
    if (pid == 0) {
        close(fds[0]);
        RunChild(fds[1], ceilingBytes, body);
    }
    close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof(buffer))) > 0) {
        out.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) {
        out += std::string("child killed by signal ") + std::to_string(WTERMSIG(status)) + " ("
               + strsignal(WTERMSIG(status)) + ")\n";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        out += "child exited with status " + std::to_string(WEXITSTATUS(status)) + "\n";
    }
    return out;
}

} // namespace testsupport
