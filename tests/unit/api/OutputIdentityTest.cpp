// SPDX-License-Identifier: MIT
// The PNG bytes, base64 URIs, SVG documents and diagnostic lines of the default formats stay
// exactly those recorded in tests/data/output-digests.txt (see support/OutputCorpus.cpp for how
// that file is written and refreshed).
#include "support/OutputCorpus.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::CorpusEntry;
using testsupport::OutputCorpus;

const char* const kFormats[] = {"png", "svg"};

std::string DigestFile()
{
    return std::string(BARCODE_TEST_DATA_DIR) + "/output-digests.txt";
}

// "<type> <name>/<format>" -> the whole line.
std::map<std::string, std::string> ReadDigests(const std::string& path)
{
    std::map<std::string, std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const size_t second = line.find(' ', line.find(' ') + 1);
        lines[line.substr(0, second)] = line;
    }
    return lines;
}

std::string Key(const CorpusEntry& e, const std::string& format)
{
    return std::to_string(e.type) + " " + e.name + "/" + format;
}

// The type numbers listed in BARCODE_DIGEST_TYPES ("12,13,14"); empty means all.
std::set<int> TypesToWrite()
{
    std::set<int> types;
    if (const char* list = std::getenv("BARCODE_DIGEST_TYPES")) {
        std::stringstream in(list);
        std::string item;
        while (std::getline(in, item, ',')) {
            if (!item.empty()) {
                types.insert(std::atoi(item.c_str()));
            }
        }
    }
    return types;
}

// Writes the digests of the chosen types, keeping the recorded lines of all others.
void WriteDigests(const std::string& path)
{
    const std::set<int> types = TypesToWrite();
    const std::map<std::string, std::string> old = ReadDigests(path);
    std::ofstream out(path, std::ios::trunc);
    out << "# Output digests of the corpus in tests/support/OutputCorpus.cpp (SHA-256).\n";
    for (const CorpusEntry& e : OutputCorpus()) {
        for (const char* format : kFormats) {
            const bool rewrite = types.empty() || types.count(e.type) != 0;
            const auto kept = old.find(Key(e, format));
            if (!rewrite) {
                if (kept != old.end()) {
                    out << kept->second << '\n';
                }
                continue;
            }
            const testsupport::CorpusOutput output = testsupport::RunCorpusEntry(e, format, true);
            if (output.available) {
                out << testsupport::DigestLine(e, format, output) << '\n';
            } else if (kept != old.end()) {
                out << kept->second << '\n';
            }
        }
    }
}

TEST(OutputIdentity, CorpusMatchesRecordedDigests)
{
    if (const char* path = std::getenv("BARCODE_WRITE_DIGESTS")) {
        WriteDigests(path);
        GTEST_SKIP() << "digests written to " << path;
    }
    const std::map<std::string, std::string> recorded = ReadDigests(DigestFile());
    ASSERT_FALSE(recorded.empty()) << "no digests in " << DigestFile();
    int compared = 0;
    for (const CorpusEntry& e : OutputCorpus()) {
        for (const char* format : kFormats) {
            const auto expected = recorded.find(Key(e, format));
            if (expected == recorded.end()) {
                continue; // a type built after the file was written
            }
            const testsupport::CorpusOutput output = testsupport::RunCorpusEntry(e, format, true);
            if (!output.available) {
                continue;
            }
            EXPECT_EQ(testsupport::DigestLine(e, format, output), expected->second);
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);
}

} // namespace
