// SPDX-License-Identifier: MIT
#include "Batch.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace lumeo {
namespace {

namespace fs = std::filesystem;

struct Job
{
    int line = 0;                  // line number in the file, from 1
    std::vector<std::string> args; // TYPE TEXT -o PATH [options]
    std::string error;             // why the line failed; empty while it has not
    bool rendered = false;         // handed to the renderer (not refused while reading)
};

std::string Trim(const std::string& s)
{
    const size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return {};
    }
    return s.substr(begin, s.find_last_not_of(" \t") + 1 - begin);
}

std::vector<std::string> Words(const std::string& s)
{
    std::istringstream in(s);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// A relative path without ".." that stays inside the output directory.
bool StaysInside(const std::string& file)
{
    const fs::path p(file);
    if (file.empty() || p.is_absolute()) {
        return false;
    }
    for (const fs::path& part : p) {
        if (part == "..") {
            return false;
        }
    }
    // "." or "sub/." names the directory itself, not a file in it.
    const fs::path name = p.lexically_normal().filename();
    return !name.empty() && name != ".";
}

// Reads the records of the file; malformed lines become jobs that have already failed.
std::vector<Job> ReadJobs(std::istream& in, const std::string& dir)
{
    std::vector<Job> jobs;
    std::map<std::string, int> writers; // output path -> first line writing it
    std::string text;
    bool first = true;
    for (int number = 1; std::getline(in, text); ++number) {
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        const std::string trimmed = Trim(text);
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        Job job;
        job.line = number;
        std::vector<std::string> fields;
        try {
            fields = SplitCsv(text);
        } catch (const std::invalid_argument& e) {
            job.error = e.what();
            jobs.push_back(job);
            continue;
        }
        const bool header = first && Lower(Trim(fields[0])) == "type";
        first = false;
        if (header) {
            continue;
        }
        if (fields.size() < 3) {
            job.error = "expected TYPE,TEXT,FILE[,OPTIONS]";
        } else if (!StaysInside(Trim(fields[2]))) {
            job.error = "the file name \"" + fields[2] + "\" must be a relative path inside " + dir;
        } else {
            const std::string path = (fs::path(dir) / Trim(fields[2])).lexically_normal().string();
            const auto [at, added] = writers.emplace(path, number);
            if (!added) {
                job.error = "line " + std::to_string(at->second) + " writes " + Trim(fields[2]) + " already";
            }
            job.args = {Trim(fields[0]), fields[1], "-o", path};
            for (size_t i = 3; i < fields.size(); ++i) {
                for (const std::string& w : Words(fields[i])) {
                    job.args.push_back(w);
                }
            }
        }
        jobs.push_back(job);
    }
    return jobs;
}

// Points standard error (file descriptor 2, where the library prints its reasons) at another
// file while alive. Only one may exist at a time.
class StderrRedirect
{
public:
    explicit StderrRedirect(int fd) : m_saved(::dup(2))
    {
        std::fflush(stderr);
        std::cerr.flush();
        if (m_saved >= 0) {
            ::dup2(fd, 2);
        }
    }

    ~StderrRedirect()
    {
        std::fflush(stderr);
        std::cerr.flush();
        if (m_saved >= 0) {
            ::dup2(m_saved, 2);
            ::close(m_saved);
        }
    }

    StderrRedirect(const StderrRedirect&) = delete;
    StderrRedirect& operator=(const StderrRedirect&) = delete;

    // The terminal (or whatever standard error was) before the redirection.
    int Original() const { return m_saved >= 0 ? m_saved : 2; }

private:
    int m_saved;
};

// Runs `render` and returns what was printed on standard error meanwhile, lines joined by "; ".
std::string Captured(const std::function<void()>& render)
{
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        render();
        return {};
    }
    {
        StderrRedirect redirect(fileno(file));
        render();
    }
    std::rewind(file);
    std::string joined;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        std::string line = Trim(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (!line.empty()) {
            joined += (joined.empty() ? "" : "; ") + line;
        }
    }
    std::fclose(file);
    return joined;
}

void WriteAll(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

std::string ProgressBar(size_t done, size_t total)
{
    constexpr size_t kWidth = 40;
    const size_t filled = total == 0 ? kWidth : done * kWidth / total;
    return "\r[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " + std::to_string(done) + "/"
           + std::to_string(total) + " " + std::to_string(total == 0 ? 100 : done * 100 / total) + "%";
}

// Draws the jobs that have not failed yet on all cores; `progressFd` >= 0 shows a progress bar.
void RunParallel(std::vector<Job>& jobs, const LineRenderer& render, int progressFd)
{
    std::vector<Job*> pending;
    for (Job& job : jobs) {
        if (job.error.empty()) {
            pending.push_back(&job);
        }
    }
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::mutex mutex;
    std::condition_variable finished;
    const auto work = [&] {
        for (size_t i = next++; i < pending.size(); i = next++) {
            Job& job = *pending[i];
            job.rendered = true;
            try {
                job.error = render(job.args);
            } catch (const std::exception& e) {
                job.error = e.what();
            } catch (...) {
                job.error = "unexpected failure";
            }
            if (++done == pending.size()) {
                std::lock_guard<std::mutex> lock(mutex);
                finished.notify_all();
            }
        }
    };
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> threads;
    for (size_t t = 0; t < std::min(cores, pending.size()); ++t) {
        threads.emplace_back(work);
    }
    if (progressFd >= 0) {
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done == pending.size(); })) {
            WriteAll(progressFd, ProgressBar(done, pending.size()));
        }
        WriteAll(progressFd, ProgressBar(done, pending.size()) + "\n");
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

} // namespace

std::vector<std::string> SplitCsv(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    bool fieldStart = true;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
            fieldStart = true;
            continue;
        } else if (c == '"' && fieldStart) {
            quoted = true;
        } else {
            field += c;
        }
        fieldStart = false;
    }
    if (quoted) {
        throw std::invalid_argument("a quoted field is not closed");
    }
    fields.push_back(field);
    return fields;
}

int RunBatch(const std::string& csvPath, const std::string& dir, const LineRenderer& render)
{
    std::ifstream file;
    if (csvPath != "-") {
        file.open(csvPath);
        if (!file) {
            std::cerr << "lumeo: cannot read " << csvPath << '\n';
            return 1;
        }
    }
    std::vector<Job> jobs = ReadJobs(csvPath == "-" ? std::cin : file, dir);
    if (jobs.empty()) {
        std::cerr << "lumeo: " << csvPath << " holds no lines to draw (TYPE,TEXT,FILE[,OPTIONS])\n";
        return 1;
    }
    std::set<fs::path> folders;
    for (const Job& job : jobs) {
        if (job.error.empty()) {
            folders.insert(fs::path(job.args[3]).parent_path());
        }
    }
    for (const fs::path& folder : folders) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            std::cerr << "lumeo: cannot create directory " << folder.string() << ": " << ec.message() << '\n';
            return 1;
        }
    }

    {
        // The library prints the reason of a failed draw from whichever thread drew it; those
        // lines are collected again below, one record at a time, so that each names its line.
        const int null = ::open("/dev/null", O_WRONLY);
        StderrRedirect quiet(null >= 0 ? null : 2);
        RunParallel(jobs, render, ::isatty(quiet.Original()) ? quiet.Original() : -1);
        if (null >= 0) {
            ::close(null);
        }
    }
    size_t failed = 0;
    for (Job& job : jobs) {
        if (job.error.empty()) {
            continue;
        }
        if (job.rendered) {
            std::string again;
            const std::string printed = Captured([&] { again = render(job.args); });
            if (again.empty()) {
                job.error.clear(); // a passing trouble, such as a full disk, has gone
                continue;
            }
            if (!printed.empty()) {
                job.error += ": " + printed;
            }
        }
        ++failed;
    }
    std::cout << "lumeo: wrote " << jobs.size() - failed << " of " << jobs.size() << " symbols to " << dir;
    if (failed > 0) {
        std::cout << "; " << failed << " failed";
    }
    std::cout << '\n' << std::flush;
    for (const Job& job : jobs) {
        if (!job.error.empty()) {
            std::cerr << "lumeo: " << csvPath << ':' << job.line << ": " << job.error << '\n';
        }
    }
    return failed == 0 ? 0 : 1;
}

} // namespace lumeo
