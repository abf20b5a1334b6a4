// SPDX-License-Identifier: MIT
// lumeo batch FILE DIR: one symbol per line of a CSV file, drawn on all cores.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lumeo {

// Splits one CSV record into its fields: commas separate, double quotes enclose a field that
// holds commas or quotes ("" is one quote). Throws std::invalid_argument for an open quote.
std::vector<std::string> SplitCsv(const std::string& line);

// Draws one symbol from a command line (TYPE TEXT -o PATH [options]) and writes it; returns an
// empty string on success, else the reason. Must not print: it runs on several threads at once.
using LineRenderer = std::function<std::string(const std::vector<std::string>& args)>;

// Reads the CSV file (or standard input for "-") whose lines are TYPE,TEXT,FILE[,OPTIONS...],
// writes every symbol under `dir`, shows a progress bar when standard error is a terminal,
// prints a summary and one line per failed record with its reason. Returns the exit status:
// 0 when every line was written, 1 otherwise.
int RunBatch(const std::string& csvPath, const std::string& dir, const LineRenderer& render);

} // namespace lumeo
