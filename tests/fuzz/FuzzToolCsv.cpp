// SPDX-License-Identifier: MIT
// libFuzzer harness of the CSV reader of "lumeo batch" (tools/Batch.cpp: SplitCsv and the
// reading of the records into command lines), without drawing anything. Properties:
// - SplitCsv throws only std::invalid_argument "a quoted field is not closed"; the fields it
//   gives, written back as CSV (quoted where they hold a comma or a quote), split into the same
//   fields; fields made from the input and written that way split back into themselves;
// - every record becomes at most one job, in line order; a record that is not refused names an
//   output path inside the output directory (no absolute path, no ".." that leaves it), no two
//   records write the same path, and its command line is TYPE TEXT -o PATH and the options.
//
// Input: the first byte picks the output directory and the form: the rest as a CSV file, or
// fields separated by 0xFF bytes that are written as one CSV record.
//
// The reader lives in an unnamed namespace of the tool's source, which is compiled here whole.
#include "Batch.cpp"
#include "FuzzSupport.h"

#include <sstream>

namespace {

constexpr char kName[] = "fuzz_tool_csv";

std::string Quoted(const std::vector<std::string>& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string& f = fields[i];
        if (i > 0) {
            line += ',';
        }
        if (f.find_first_of(",\"") == std::string::npos) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f) {
            line += c == '"' ? "\"\"" : std::string(1, c);
        }
        line += '"';
    }
    return line;
}

std::vector<std::string> Split(const std::string& line)
{
    try {
        return lumeo::SplitCsv(line);
    } catch (const std::invalid_argument& e) {
        if (std::string(e.what()) != "a quoted field is not closed") {
            fuzz::Broken(kName, std::string("SplitCsv threw \"") + e.what() + "\"");
        }
        throw;
    }
}

// Whether `path` lies inside `dir`: below its normal form, with no ".." left in it.
bool Inside(const std::string& path, const std::string& dir)
{
    const std::string base = std::filesystem::path(dir).lexically_normal().string();
    const std::string prefix =
        base.empty() || base == "." || base.back() == '/' ? (base == "." ? "" : base) : base + "/";
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) {
        return false;
    }
    for (const std::filesystem::path& part : std::filesystem::path(path.substr(prefix.size()))) {
        if (part == ".." || part.is_absolute()) {
            return false;
        }
    }
    return true;
}

void CheckJobs(const std::string& csv, const std::string& dir)
{
    std::istringstream in(csv);
    const std::vector<lumeo::Job> jobs = lumeo::ReadJobs(in, dir);
    const std::size_t lines = static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n'))
                              + (!csv.empty() && csv.back() != '\n' ? 1 : 0);
    if (jobs.size() > lines) {
        fuzz::Broken(kName, std::to_string(jobs.size()) + " jobs from " + std::to_string(lines) + " lines");
    }
    std::set<std::string> paths;
    int previous = 0;
    for (const lumeo::Job& job : jobs) {
        if (job.line <= previous || static_cast<std::size_t>(job.line) > lines) {
            fuzz::Broken(kName, "job of line " + std::to_string(job.line) + " after line " + std::to_string(previous));
        }
        previous = job.line;
        if (!job.error.empty()) {
            continue;
        }
        if (job.args.size() < 4 || job.args[2] != "-o") {
            fuzz::Broken(kName, "a command line without TYPE TEXT -o PATH");
        }
        if (!Inside(job.args[3], dir)) {
            fuzz::Broken(kName, "line " + std::to_string(job.line) + " writes " + fuzz::Shown(job.args[3])
                                    + ", outside " + fuzz::Shown(dir));
        }
        if (!paths.insert(job.args[3]).second) {
            fuzz::Broken(kName, "two lines write " + fuzz::Shown(job.args[3]));
        }
        for (std::size_t i = 4; i < job.args.size(); ++i) {
            if (job.args[i].empty() || job.args[i].find_first_of(" \t\n") != std::string::npos) {
                fuzz::Broken(kName, "an option word that is empty or holds a space");
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const char* const kDirs[] = {"out", "out/", "/tmp/lumeo out", "a/../b", ".", "./x/./y", "..", ""};
    fuzz::Bytes in(data, size);
    const std::uint8_t head = in.Byte();
    const std::string dir = kDirs[head % std::size(kDirs)];
    const std::string rest = in.Rest();

    if ((head & 0x80) != 0) { // fields written as one record
        std::vector<std::string> fields(1);
        for (char c : rest) {
            if (static_cast<unsigned char>(c) == 0xFF) {
                fields.emplace_back();
            } else {
                fields.back() += c;
            }
        }
        const std::string line = Quoted(fields);
        if (Split(line) != fields) {
            fuzz::Broken(kName, "the record " + fuzz::Shown(line) + " does not split into its fields");
        }
        if (line.find_first_of("\r\n") == std::string::npos) {
            CheckJobs(line + "\n" + line + "\n", dir);
        }
        return 0;
    }

    std::istringstream lines(rest);
    for (std::string line; std::getline(lines, line);) {
        try {
            const std::vector<std::string> fields = Split(line);
            if (fields.empty() || Split(Quoted(fields)) != fields) {
                fuzz::Broken(kName, "the fields of " + fuzz::Shown(line) + " written back split otherwise");
            }
        } catch (const std::invalid_argument&) {
        }
    }
    CheckJobs(rest, dir);
    return 0;
}
