// SPDX-License-Identifier: MIT
#include "Batch.h"

#include "AtomicWrite.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace lumeo {
namespace {

namespace fs = std::filesystem;

struct Job
{
    int line = 0;                  // line number in the file where the record starts, from 1
    std::vector<std::string> args; // TYPE TEXT -o NAME [shared options] [the line's options]
    std::string name;              // the file, relative to the output folder, normalised
    std::string error;             // why the line failed; empty while it has not
    std::string warnings;          // what the library said about a line it drew (and --verbose notes)
    bool written = false;          // the file is in place
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

// Reads one record starting at `i`; leaves `i` after its line end and `line` on the next line.
// Returns false when the record has a quoted field that is not closed.
bool ParseRecord(const std::string& data, size_t& i, int& line, std::vector<std::string>& fields)
{
    std::string field;
    bool quoted = false;
    bool fieldStart = true;
    for (; i < data.size(); ++i) {
        const char c = data[i];
        if (quoted) {
            if (c == '"' && i + 1 < data.size() && data[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                line += c == '\n' ? 1 : 0;
                field += c;
            }
            continue;
        }
        if (c == '\n' || (c == '\r' && (i + 1 == data.size() || data[i + 1] == '\n'))) {
            i += c == '\r' ? 2 : 1;
            ++line;
            break;
        }
        if (c == ',') {
            fields.push_back(field);
            field.clear();
            fieldStart = true;
            continue;
        }
        if (c == '"' && fieldStart) {
            quoted = true;
        } else {
            field += c;
        }
        fieldStart = false;
    }
    fields.push_back(field);
    return !quoted;
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
    return p.has_filename() && p.lexically_normal().has_filename() && p.lexically_normal() != ".";
}

bool IsOutputOption(const std::string& word)
{
    return word == "-o" || word == "--output" || word.rfind("--output=", 0) == 0;
}

// Why a field that holds a NUL byte cannot be used, or "".
std::string NulReason(const std::vector<std::string>& fields)
{
    static const char* const kWhat[] = {"the type", "the text", "the file name"};
    for (size_t f = 0; f < fields.size(); ++f) {
        const size_t at = fields[f].find('\0');
        if (at != std::string::npos) {
            return std::string(f < 3 ? kWhat[f] + std::string(" holds") : "the options hold") + " a NUL byte (at byte " +
                   std::to_string(at + 1) + "), which cannot be passed on";
        }
    }
    return {};
}

// Turns the records of the file into jobs; records that cannot be drawn become jobs that have
// already failed.
std::vector<Job> ReadJobs(const std::vector<CsvRecord>& records, const std::string& dir,
                          const std::vector<std::string>& shared)
{
    std::vector<Job> jobs;
    std::map<std::string, int> writers; // normalised name -> first line writing it
    bool first = true;
    for (const CsvRecord& record : records) {
        Job job;
        job.line = record.line;
        const std::vector<std::string>& fields = record.fields;
        const bool header = first && record.error.empty() && Lower(Trim(fields[0])) == "type";
        first = false;
        if (header) {
            continue;
        }
        job.error = record.error.empty() ? NulReason(fields) : record.error;
        if (!job.error.empty()) {
            jobs.push_back(job);
            continue;
        }
        if (fields.size() < 3) {
            job.error = "expected TYPE,TEXT,FILE[,OPTIONS]";
        } else if (!StaysInside(Trim(fields[2]))) {
            job.error = "the file name \"" + fields[2] + "\" must be a relative path inside " + dir;
        } else {
            job.name = fs::path(Trim(fields[2])).lexically_normal().string();
            job.args = {Trim(fields[0]), fields[1], "-o", job.name};
            job.args.insert(job.args.end(), shared.begin(), shared.end());
            for (size_t i = 3; i < fields.size() && job.error.empty(); ++i) {
                for (const std::string& w : Words(fields[i])) {
                    if (IsOutputOption(w)) {
                        job.error = "the options may not name an output (" + w +
                                    "): the third field is the file, inside " + dir;
                        break;
                    }
                    job.args.push_back(w);
                }
            }
            if (job.error.empty()) {
                const auto [at, added] = writers.emplace(job.name, job.line);
                if (!added) {
                    job.error = "line " + std::to_string(at->second) + " writes " + job.name + " already";
                }
            }
        }
        jobs.push_back(job);
    }
    return jobs;
}

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
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// The files written so far, by the folder they are in (device, inode) and their name: a second
// line reaching one of them through another name fails instead of overwriting it.
class Written
{
public:
    // The line that wrote the file already, or 0 after claiming it for `line`.
    int Claim(int dirFd, const std::string& name, int line)
    {
        struct stat st{};
        if (::fstat(dirFd, &st) != 0) {
            return 0;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto [at, added] = m_files.emplace(std::make_tuple(st.st_dev, st.st_ino, name), line);
        return added ? 0 : at->second;
    }

private:
    std::mutex m_mutex;
    std::map<std::tuple<dev_t, ino_t, std::string>, int> m_files;
};

// Opens (and makes, when missing) the folders of `name` below the output folder, following no
// symbolic link; returns the innermost one. Throws std::runtime_error with the reason.
Fd OpenFolders(int rootFd, const std::string& dir, const std::string& name)
{
    Fd current(::dup(rootFd));
    std::string shown = dir;
    const fs::path parent = fs::path(name).parent_path();
    for (const fs::path& part : parent) {
        const std::string component = part.string();
        shown += "/" + component;
        if (::mkdirat(current.Get(), component.c_str(), 0777) != 0 && errno != EEXIST) {
            throw std::runtime_error("cannot make the folder " + shown + ": " + std::strerror(errno));
        }
        const int fd = ::openat(current.Get(), component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            struct stat st{};
            if (::fstatat(current.Get(), component.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                if (S_ISLNK(st.st_mode)) {
                    throw std::runtime_error("cannot write into " + shown +
                                             ": it is a symbolic link, which is not followed");
                }
                if (!S_ISDIR(st.st_mode)) {
                    throw std::runtime_error("cannot make the folder " + shown + ": a file of that name is in the way");
                }
            }
            throw std::runtime_error("cannot open the folder " + shown + ": " + std::strerror(error));
        }
        current = Fd(fd);
    }
    return current;
}

// Flushes every folder that received a file (and the folders above it, which may be new) once,
// so that the renames are on the disk: one flush per folder rather than one per file.
void SyncFolders(const std::vector<Job>& jobs, int rootFd, const std::string& dir)
{
    std::set<std::string> folders;
    for (const Job& job : jobs) {
        for (fs::path p = fs::path(job.name).parent_path(); job.written; p = p.parent_path()) {
            if (!folders.insert(p.string()).second || p.empty()) {
                break;
            }
        }
    }
    for (const std::string& folder : folders) {
        try {
            const Fd fd = OpenFolders(rootFd, dir, folder.empty() ? "x" : folder + "/x");
            ::fsync(fd.Get());
        } catch (const std::exception&) {
            // gone or replaced meanwhile: its files were written, only not flushed
        }
    }
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

// Draws and writes the jobs that have not failed yet on all cores; `progressFd` >= 0 shows a
// progress bar. Returns the number of files written.
size_t RunParallel(std::vector<Job>& jobs, int rootFd, const std::string& dir, const LineRenderer& render,
                   int progressFd)
{
    std::vector<Job*> pending;
    for (Job& job : jobs) {
        if (job.error.empty()) {
            pending.push_back(&job);
        }
    }
    Written written;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<size_t> wrote{0};
    std::mutex mutex;
    std::condition_variable finished;
    const auto work = [&] {
        for (size_t i = next++; i < pending.size(); i = next++) {
            Job& job = *pending[i];
            try {
                Rendered r = render(job.args);
                job.warnings = std::move(r.warnings);
                if (!r.notes.empty()) {
                    job.warnings += (job.warnings.empty() ? "" : "; ") + r.notes;
                }
                const Fd folder = OpenFolders(rootFd, dir, job.name);
                const std::string file = fs::path(job.name).filename().string();
                if (const int other = written.Claim(folder.Get(), file, job.line); other != 0) {
                    throw std::runtime_error("line " + std::to_string(other) + " writes " + dir + "/" + job.name +
                                             " already, under another name");
                }
                WriteFileAt(folder.Get(), file, r.bytes, dir + "/" + job.name, false);
                job.written = true;
                ++wrote;
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
    SyncFolders(jobs, rootFd, dir);
    return wrote;
}

} // namespace

std::vector<std::string> SplitCsv(const std::string& line)
{
    std::vector<std::string> fields;
    size_t i = 0;
    int number = 1;
    if (!ParseRecord(line, i, number, fields)) {
        throw std::invalid_argument("a quoted field is not closed");
    }
    return fields;
}

std::vector<CsvRecord> ReadCsv(std::istream& in)
{
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<CsvRecord> records;
    size_t i = data.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int line = 1;
    while (i < data.size()) {
        const size_t end = std::min(data.find('\n', i), data.size());
        std::string physical = data.substr(i, end - i);
        if (!physical.empty() && physical.back() == '\r') {
            physical.pop_back();
        }
        const std::string trimmed = Trim(physical);
        if (trimmed.empty() || trimmed[0] == '#') {
            i = end + 1;
            ++line;
            continue;
        }
        CsvRecord record;
        record.line = line;
        if (!ParseRecord(data, i, line, record.fields)) {
            // The quote runs to the end of the file: this line alone fails, the next ones are read.
            record.error = "a quoted field opened on this line is not closed";
            record.fields.clear();
            i = end + 1;
            line = record.line + 1;
        }
        records.push_back(std::move(record));
    }
    return records;
}

int RunBatch(const std::string& csvPath, const std::string& dir, const std::vector<std::string>& shared,
             const LineRenderer& render)
{
    std::ifstream file;
    if (csvPath != "-") {
        file.open(csvPath, std::ios::binary);
        if (!file) {
            std::cerr << "lumeo: cannot read " << csvPath << ": " << std::strerror(errno) << '\n';
            return 1;
        }
    }
    std::vector<Job> jobs = ReadJobs(ReadCsv(csvPath == "-" ? std::cin : file), dir, shared);
    if (jobs.empty()) {
        std::cerr << "lumeo: " << csvPath << " holds no lines to draw (TYPE,TEXT,FILE[,OPTIONS])\n";
        return 1;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    const Fd root(ec ? -1 : ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.Get() < 0) {
        std::cerr << "lumeo: cannot use the folder " << dir << ": " << (ec ? ec.message() : std::strerror(errno))
                  << '\n';
        return 1;
    }
    const size_t wrote = RunParallel(jobs, root.Get(), dir, render, ::isatty(2) ? 2 : -1);
    const size_t failed = jobs.size() - wrote;
    std::cout << "lumeo: wrote " << wrote << " of " << jobs.size() << " symbols to " << dir;
    if (failed > 0) {
        std::cout << "; " << failed << " failed";
    }
    std::cout << '\n' << std::flush;
    for (const Job& job : jobs) {
        const std::string& say = job.error.empty() ? job.warnings : job.error;
        if (!say.empty()) {
            std::cerr << "lumeo: " << csvPath << ':' << job.line << ": " << say << '\n';
        }
    }
    return failed == 0 ? 0 : 1;
}

} // namespace lumeo
