// SPDX-License-Identifier: MIT
// fork() while other threads draw: the child draws on its own and exits. A child that hangs on
// a lock some other thread held at the fork is killed by its alarm and counted.
#include "barcode_lumeo.h"
#include "support/CappedChild.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kCeiling = std::size_t{1} << 30;

// One draw (and fetch) of each kind that takes a process-wide lock: the fonts and the caches of
// rendered text (a linear symbol with text), the QR tables, the text conversion (Shift-JIS), the
// log (a rejected text). Returns the draws that did not come out as expected, or "".
std::string DrawEveryKind(int round)
{
    std::string wrong;
    const auto drawOne = [&wrong](int type, const char* format, const std::string& text, bool expect) {
        void* h = barcode_create(type);
        barcode_set_output_format(h, format);
        barcode_set_string_encoding(h, "shift-jis");
        const bool drawn =
            type >= 16 ? barcode_draw_2d(h, text.c_str(), 240) : barcode_draw_1d(h, text.c_str(), 360, 120);
        bool ok = drawn == expect;
        if (drawn && std::strcmp(format, "svg") != 0) {
            int size = 0;
            const unsigned char* png = barcode_get_image_data(h, &size);
            ok = ok && png != nullptr && size > 8 && std::memcmp(png + 1, "PNG", 3) == 0;
        }
        barcode_destroy(h);
        if (!ok) {
            wrong += "type " + std::to_string(type) + " " + format + "; ";
        }
    };
    const std::string serial = "Fork " + std::to_string(round);
    drawOne(2, "png", serial, true);
    drawOne(16, "png8", serial, true);
    drawOne(17, "svg", "\xe6\x97\xa5\xe6\x9c\xac " + serial, true); // 日本, drawn as Shift-JIS
    drawOne(0, "png", "~" + serial, false);
    return wrong;
}

// What the other threads do while the main thread forks: text in one line of new glyphs (fonts
// held while they are rendered), and rejected texts and Shift-JIS conversions (log and
// conversion locks).
std::string BusyWithFonts(int round)
{
    void* h = barcode_create(2);
    barcode_set_text_even_spacing(h, 0);
    std::string text;
    for (int i = 0; i < 24; ++i) {
        text += static_cast<char>('!' + (round * 7 + i * 13) % 90);
    }
    const bool drawn = barcode_draw_1d(h, text.c_str(), 900, 200);
    barcode_destroy(h);
    return drawn ? "" : "Code 128 \"" + text + "\"; ";
}

std::string BusyWithLogAndConversion(int round)
{
    void* h = barcode_create(round % 2 == 0 ? 0 : 17);
    barcode_set_string_encoding(h, "shift-jis");
    const bool drawn = round % 2 == 0 ? barcode_draw_1d(h, "~", 100, 50) : barcode_draw_2d(h, "\xe6\x97\xa5", 40);
    barcode_destroy(h);
    return drawn == (round % 2 != 0) ? "" : "round " + std::to_string(round) + "; ";
}

std::string ForkWhileDrawing()
{
    alarm(180); // the whole run: a hang in this process fails the test too
    std::atomic<bool> stop{false};
    std::atomic<int> threadFailures{0};
    std::string firstWrong;
    std::mutex firstWrongMutex;
    std::vector<std::thread> threads;
    for (auto busy : {BusyWithFonts, BusyWithLogAndConversion}) {
        threads.emplace_back([&, busy] {
            for (int round = 0; !stop.load(); ++round) {
                const std::string wrong = busy(round);
                if (!wrong.empty()) {
                    ++threadFailures;
                    const std::lock_guard<std::mutex> lock(firstWrongMutex);
                    firstWrong = wrong;
                }
            }
        });
    }
    int hungAt = -1;
    int failed = 0;
    int lost = 0;
    constexpr int kForks = 60;
    for (int i = 0; i < kForks; ++i) {
        const pid_t pid = fork();
        if (pid < 0) {
            ++lost;
            continue;
        }
        if (pid == 0) {
            alarm(10);
            _exit(DrawEveryKind(i).empty() ? 0 : 1);
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
            hungAt = i;
            break; // one is enough to fail
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++failed;
        }
    }
    stop = true;
    for (std::thread& th : threads) {
        th.join();
    }
    std::string complaints;
    if (hungAt >= 0) {
        complaints += "the child of fork " + std::to_string(hungAt + 1) + " of " + std::to_string(kForks) + " hung\n";
    }
    if (failed != 0) {
        complaints += std::to_string(failed) + " children failed to draw\n";
    }
    if (lost != 0) {
        complaints += std::to_string(lost) + " forks failed\n";
    }
    if (threadFailures != 0) {
        complaints += std::to_string(threadFailures.load()) + " rounds failed on the drawing threads: " + firstWrong + "\n";
    }
    return complaints;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMEO_FORK_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LUMEO_FORK_UNDER_ASAN 1
#endif

TEST(Fork, ChildDrawsWhileOtherThreadsDraw)
{
#ifdef LUMEO_FORK_UNDER_ASAN
    // AddressSanitizer's own allocator (the one of Debian 12's toolchains) takes no lock around
    // fork(): a child can wait forever on an allocator semaphore another thread held, inside the
    // first operator new, before any of our code runs. The normal and TSan builds run this.
    GTEST_SKIP() << "the AddressSanitizer allocator is not fork-safe";
#endif
    EXPECT_EQ(testsupport::RunCapped(kCeiling, ForkWhileDrawing), "");
}

} // namespace
