// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace runs {

// Cuts a module sequence ('1' bar, '0' space) into run lengths, the first run first.
inline std::vector<int> RunLengths(const std::string& modules)
{
    std::vector<int> lengths;
    for (size_t i = 0; i < modules.size();) {
        size_t j = i;
        while (j < modules.size() && modules[j] == modules[i]) {
            ++j;
        }
        lengths.push_back(static_cast<int>(j - i));
        i = j;
    }
    return lengths;
}

} // namespace runs
