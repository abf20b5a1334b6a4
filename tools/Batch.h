// SPDX-License-Identifier: MIT
// lumeo batch FILE DIR: one symbol per line of a CSV file, drawn on all cores.
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace lumeo {

// Splits one CSV record into its fields: commas separate, double quotes enclose a field that
// holds commas or quotes ("" is one quote). Throws std::invalid_argument for an open quote.
std::vector<std::string> SplitCsv(const std::string& line);

// One record of a CSV file: the line it starts on (from 1), its fields, or why it cannot be read.
struct CsvRecord
{
    int line = 0;
    std::vector<std::string> fields;
    std::string error;
};

// The records of a CSV file as spreadsheets write them: a UTF-8 byte-order mark, LF or CRLF line
// ends, quoted fields holding commas, quotes ("") and line breaks (kept as they are written).
// Blank lines and lines whose first character other than a blank is # are left out.
std::vector<CsvRecord> ReadCsv(std::istream& in);

// What drawing one line gave: the file's bytes, the library's warnings, joined by "; ", and notes.
struct Rendered
{
    std::string bytes;
    std::string warnings;
    std::string notes; // what --verbose reports (the module and image sizes), joined by "; "
};

// Draws one symbol from a command line (TYPE TEXT -o NAME [options]) without writing it; throws
// std::exception with the reason. Must not print: it runs on several threads at once.
using LineRenderer = std::function<Rendered(const std::vector<std::string>& args)>;

// Reads the CSV file (or standard input for "-") whose lines are TYPE,TEXT,FILE[,OPTIONS...],
// and writes every symbol under `dir` (created when missing). `shared` options come before each
// line's own, so a line's options win. Names are relative paths inside `dir`; no symbolic link
// below `dir` is followed; each file is written whole or not at all. Shows a progress bar when
// standard error is a terminal, prints a summary and one line per failed record with its reason.
// Returns the exit status: 0 when every line was written, 1 otherwise.
int RunBatch(const std::string& csvPath, const std::string& dir, const std::vector<std::string>& shared,
             const LineRenderer& render);

} // namespace lumeo
