// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

// Independent references for the DataBar tests: zint's module dump and zbar's reader.
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

inline bool HaveZint()
{
#ifdef BARCODE_ZINT
    return true;
#else
    return false;
#endif
}

// The module rows zint draws for `data` ('1' dark), each `width` modules long.
inline std::vector<std::string> ZintRows(int symbology, const std::string& data, size_t width,
                                         const std::string& options = "")
{
    std::vector<std::string> rows;
#ifdef BARCODE_ZINT
    const std::string dump = Run(std::string(BARCODE_ZINT) + " -b " + std::to_string(symbology) + " " + options
                                 + " --dump -d '" + data + "' 2>/dev/null");
    std::string bits;
    for (char c : dump + "\n") {
        if (c == '\n') {
            if (!bits.empty()) {
                rows.push_back(bits.substr(0, width));
            }
            bits.clear();
        } else if (c != ' ') {
            const int v = c >= 'A' ? c - 'A' + 10 : c - '0';
            for (int bit = 3; bit >= 0; --bit) {
                bits += ((v >> bit) & 1) != 0 ? '1' : '0';
            }
        }
    }
#else
    (void)symbology, (void)data, (void)width, (void)options;
#endif
    return rows;
}

inline bool HaveZbar()
{
    return std::system("command -v zbarimg >/dev/null 2>&1") == 0;
}

// What zbarimg reads from PNG bytes (symbology prefix and data, one line per symbol).
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
