// SPDX-License-Identifier: MIT
#include "code128/Code128Patterns.h"

#include <stdexcept>

namespace code128 {

// ISO/IEC 15417, table 1: bar, space, bar, space, bar, space widths per code value.
const char* const s_codePatterns[kValueCount] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213",  "122312", "132212", "221213", // 0
    "221312", "231212", "112232", "122132", "122231", "113222", "123122",  "123221", "223211", "221132", // 10
    "221231", "213212", "223112", "312131", "311222", "321122", "321221",  "312212", "322112", "322211", // 20
    "212123", "212321", "232121", "111323", "131123", "131321", "112313",  "132113", "132311", "211313", // 30
    "231113", "231311", "112133", "112331", "132131", "113123", "113321",  "133121", "313121", "211331", // 40
    "231131", "213113", "213311", "213131", "311123", "311321", "331121",  "312113", "312311", "332111", // 50
    "314111", "221411", "431111", "111224", "111422", "121124", "121421",  "141122", "141221", "112214", // 60
    "112412", "122114", "122411", "142112", "142211", "241211", "221114",  "413111", "241112", "134111", // 70
    "111242", "121142", "121241", "114212", "124112", "124211", "411212",  "421112", "421211", "212141", // 80
    "214121", "412121", "111143", "111341", "131141", "114113", "114311",  "411113", "411311", "113141", // 90
    "114131", "311141", "411131", "211412", "211214", "211232", "2331112",                               // 100
};

int CheckValue(const std::vector<int>& codes)
{
    if (codes.empty()) {
        return 0;
    }
    long long sum = codes[0];
    for (size_t i = 1; i < codes.size(); ++i) {
        sum = (sum + static_cast<long long>(codes[i]) * static_cast<long long>(i % 103)) % 103;
    }
    return static_cast<int>(sum % 103);
}

std::vector<int> ExpandToWidths(const std::vector<int>& codes, const std::string& badValueMessage)
{
    std::vector<int> widths;
    widths.reserve(codes.size() * 6 + 1);
    for (int value : codes) {
        if (value < 0 || value >= kValueCount) {
            throw std::runtime_error(badValueMessage);
        }
        for (const char* p = s_codePatterns[value]; *p != '\0'; ++p) {
            widths.push_back(*p - '0');
        }
    }
    return widths;
}

} // namespace code128
