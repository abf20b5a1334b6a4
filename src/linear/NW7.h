// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase1D.h"

#include <vector>

// NW-7 (Codabar) with start/stop characters A to D ("C" at both ends when none are given).
class NW7 : public BarcodeBase1D
{
public:
    explicit NW7(SDL_Renderer* renderer);
    explicit NW7(const std::string& outputFormat);

    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;
    virtual std::vector<int> EncodeNW7(const std::string& text);

    // Print the start/stop characters the caller gave.
    void SetShowStartStop(bool on) { m_showStartStop = on; }
    bool GetShowStartStop() const { return m_showStartStop; }

private:
    LinearEncoder Encoder(const std::string& text);

    bool m_showStartStop = true;
};
