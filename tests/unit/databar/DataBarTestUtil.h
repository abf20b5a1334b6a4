// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

// Inputs and independent references for the DataBar tests: zint's module dump, zbar's reader.
namespace databartest {

// Run lengths (dark first) as a module string, '1' dark.
inline std::string Modules(const std::vector<int>& runs)
{
    std::string bits;
    for (size_t i = 0; i < runs.size(); ++i) {
        bits.append(static_cast<size_t>(runs[i]), i % 2 == 0 ? '1' : '0');
    }
    return bits;
}

// GTINs spread over [0, limit): a fixed pseudo-random walk, 13 digits each.
inline std::vector<std::string> SpreadGtins(size_t count, unsigned long long limit)
{
    std::vector<std::string> out;
    unsigned long long x = 88172645463325252ULL;
    for (size_t i = 0; i < count; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        const std::string digits = std::to_string(x % limit);
        out.push_back(std::string(13 - digits.size(), '0') + digits);
    }
    return out;
}

// The message of the exception `f` throws, or "(accepted)".
template <class F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(accepted)";
}

inline std::string Run(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return out;
}

#ifdef BARCODE_ZINT
constexpr bool kHaveZint = true;
#else
constexpr bool kHaveZint = false;
#define BARCODE_ZINT "zint"
#endif

// The module rows zint draws for `data` ('1' dark), each cut to `width` modules.
inline std::vector<std::string> ZintRows(int symbology, const std::string& data, size_t width,
                                         const std::string& options = "")
{
    std::string quoted;
    for (char c : data) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    const std::string dump = Run(std::string(BARCODE_ZINT) + " -b " + std::to_string(symbology) + " " + options
                                 + " --dump -d '" + quoted + "' 2>/dev/null");
    std::vector<std::string> rows(1);
    for (char c : dump) {
        if (c == '\n') {
            rows.back().resize(std::min(rows.back().size(), width));
            rows.emplace_back();
        } else if (c != ' ') {
            const int v = c >= 'A' ? c - 'A' + 10 : c - '0';
            for (int bit = 3; bit >= 0; --bit) {
                rows.back() += ((v >> bit) & 1) != 0 ? '1' : '0';
            }
        }
    }
    rows.pop_back();
    return rows;
}

inline bool HaveZbar()
{
    return std::system("command -v zbarimg >/dev/null 2>&1") == 0;
}

// What zbarimg reads from PNG bytes: "Symbology:data", one line per symbol.
inline std::string ZbarRead(const std::vector<std::uint8_t>& png)
{
    static int counter = 0;
    const std::string path = std::string(BARCODE_TEST_TMPDIR) + "/zbar" + std::to_string(::getpid()) + "_"
                             + std::to_string(counter++) + ".png";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    std::string out = Run("zbarimg -q '" + path + "' 2>/dev/null");
    std::remove(path.c_str());
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

} // namespace databartest
