// SPDX-License-Identifier: MIT
// libFuzzer harness of the CSV reader of "lumeo batch" (tools/Batch.cpp: SplitCsv, ReadCsv and
// the turning of records into command lines), without drawing anything. Properties:
// - SplitCsv throws only std::invalid_argument "a quoted field is not closed"; the fields it
//   gives, written back as CSV, split into the same fields;
// - the records ReadCsv reads, written back as CSV (quoted where they hold a comma, a quote, a
//   line break, a #, a byte-order mark, or start or end with a blank), read back into the same fields, with LF line
//   ends and with a UTF-8 byte-order mark and CRLF; their lines count up; a record that cannot be
//   read says why and has no fields;
// - every record becomes at most one job (the header "type,..." none), in line order; a job
//   that is not refused has the command line TYPE TEXT -o NAME, the shared options, then the
//   record's option words, none of which names an output; NAME is a normal relative path that
//   stays inside the output directory, and no two jobs write the same NAME; a record with a NUL
//   byte is refused with a reason that says so;
// - fields written as one record, twice, give one job and one refused as a second writer.
//
// Input: the first byte picks the output directory, the shared options and the form: the rest
// as a CSV file, or fields separated by 0xFF bytes that are written as one CSV record.
//
// The job reader lives in an unnamed namespace of the tool's source, which is compiled here
// whole (the tool's other sources are compiled beside it).
#include "Batch.cpp"
#include "FuzzSupport.h"

#include <set>
#include <sstream>

namespace {

constexpr char kName[] = "fuzz_tool_csv";

bool Blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Quoted(const std::vector<std::string>& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string& f = fields[i];
        if (i > 0) {
            line += ',';
        }
        const bool lone = fields.size() == 1 && f.find_first_not_of(" \t") == std::string::npos;
        const bool bom = i == 0 && f.compare(0, 3, "\xEF\xBB\xBF") == 0;
        if (!lone && !bom && f.find_first_of(",\"\r\n#") == std::string::npos && (f.empty() || (!Blank(f.front()) && !Blank(f.back())))) {
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

std::vector<lumeo::CsvRecord> Read(const std::string& csv)
{
    std::istringstream in(csv);
    const std::vector<lumeo::CsvRecord> records = lumeo::ReadCsv(in);
    int previous = 0;
    for (const lumeo::CsvRecord& r : records) {
        if (r.line <= previous) {
            fuzz::Broken(kName, "record of line " + std::to_string(r.line) + " after line " + std::to_string(previous));
        }
        previous = r.line;
        if (r.error.empty() == r.fields.empty()) {
            fuzz::Broken(kName, "a record with neither fields nor a reason, or both: line " + std::to_string(r.line));
        }
    }
    return records;
}

std::vector<std::vector<std::string>> Readable(const std::vector<lumeo::CsvRecord>& records)
{
    std::vector<std::vector<std::string>> all;
    for (const lumeo::CsvRecord& r : records) {
        if (r.error.empty()) {
            all.push_back(r.fields);
        }
    }
    return all;
}

// Writes the records back (with a byte-order mark and CRLF, or plain) and reads them again.
void CheckWriteBack(const std::vector<std::vector<std::string>>& records)
{
    for (const bool crlf : {false, true}) {
        std::string csv = crlf ? "\xEF\xBB\xBF" : "";
        for (const auto& fields : records) {
            csv += Quoted(fields) + (crlf ? "\r\n" : "\n");
        }
        if (Readable(Read(csv)) != records) {
            fuzz::Broken(kName, std::string("the records written back") + (crlf ? " with a BOM and CRLF" : "") +
                                    " read otherwise: " + fuzz::Shown(csv));
        }
    }
}

bool IsOutput(const std::string& w)
{
    return w == "-o" || w == "--output" || w.rfind("--output=", 0) == 0;
}

// A normal relative path with a file name that no ".." takes out of the directory.
bool Inside(const std::string& name)
{
    const std::filesystem::path p(name);
    if (name.empty() || p.is_absolute() || p.lexically_normal().string() != name || name == "." || !p.has_filename()) {
        return false;
    }
    for (const std::filesystem::path& part : p) {
        if (part == "..") {
            return false;
        }
    }
    return true;
}

std::vector<lumeo::Job> CheckJobs(const std::vector<lumeo::CsvRecord>& records, const std::string& dir,
                                  const std::vector<std::string>& shared)
{
    const std::vector<lumeo::Job> jobs = lumeo::ReadJobs(records, dir, shared);
    if (jobs.size() > records.size() || jobs.size() + 1 < records.size()) {
        fuzz::Broken(kName, std::to_string(jobs.size()) + " jobs from " + std::to_string(records.size()) + " records");
    }
    const std::size_t skipped = records.size() - jobs.size();
    std::set<std::string> names;
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const lumeo::Job& job = jobs[j];
        const lumeo::CsvRecord& record = records[j + skipped];
        if (job.line != record.line) {
            fuzz::Broken(kName, "the job of line " + std::to_string(job.line) + " for the record of line " +
                                    std::to_string(record.line));
        }
        bool nul = false;
        for (const std::string& f : record.fields) {
            nul = nul || f.find('\0') != std::string::npos;
        }
        if (nul && job.error.find("a NUL byte") == std::string::npos) {
            fuzz::Broken(kName, "line " + std::to_string(job.line) + " holds a NUL byte and is not refused for it");
        }
        if (!job.error.empty()) {
            continue;
        }
        if (job.args.size() < 4 + shared.size() || job.args[2] != "-o" || job.args[3] != job.name ||
            !std::equal(shared.begin(), shared.end(), job.args.begin() + 4)) {
            fuzz::Broken(kName, "a command line that is not TYPE TEXT -o NAME [shared options]");
        }
        if (!Inside(job.name)) {
            fuzz::Broken(kName, "line " + std::to_string(job.line) + " writes " + fuzz::Shown(job.name) + ", outside " +
                                    fuzz::Shown(dir));
        }
        if (!names.insert(job.name).second) {
            fuzz::Broken(kName, "two lines write " + fuzz::Shown(job.name));
        }
        for (std::size_t i = 4 + shared.size(); i < job.args.size(); ++i) {
            if (job.args[i].empty() || job.args[i].find_first_of(" \t\n") != std::string::npos || IsOutput(job.args[i])) {
                fuzz::Broken(kName, "an option word that is empty, holds a space or names an output: " +
                                        fuzz::Shown(job.args[i]));
            }
        }
    }
    return jobs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const char* const kDirs[] = {"out", "out/", "/tmp/lumeo out", "a/../b", ".", "./x/./y", "..", ""};
    static const std::vector<std::string> kShared[] = {{}, {"--width", "300"}, {"--format", "svg"}, {"--draw", "2d", "--fg", "255,0,0"}};
    fuzz::Bytes in(data, size);
    const std::uint8_t head = in.Byte();
    const std::string dir = kDirs[head % std::size(kDirs)];
    const std::vector<std::string>& shared = kShared[(head >> 3) % std::size(kShared)];
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
        CheckWriteBack({fields, fields});
        const std::vector<lumeo::CsvRecord> records = Read(line + "\n" + line + "\r\n");
        const std::vector<lumeo::Job> jobs = CheckJobs(records, dir, shared);
        if (jobs.size() == 2 && jobs[0].error.empty() && jobs[1].error.find("already") == std::string::npos) {
            fuzz::Broken(kName, "a second line writing " + fuzz::Shown(jobs[0].name) + " is not refused");
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
    const std::vector<lumeo::CsvRecord> records = Read(rest);
    CheckWriteBack(Readable(records));
    CheckJobs(records, dir, shared);
    return 0;
}
