// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase1D.h"

#include <vector>

// Code 39 with wide-to-narrow ratio 3 and no check character.
class Code39 : public BarcodeBase1D
{
public:
    explicit Code39(SDL_Renderer* renderer);
    explicit Code39(const std::string& outputFormat);

    std::vector<int> EncodeCode39(const std::string& text) const;
    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;

    // Print the text framed by "*".
    void SetShowStartStop(bool on) { m_showStartStop = on; }
    bool GetShowStartStop() const { return m_showStartStop; }

private:
    LinearEncoder Encoder(const std::string& text) const;

    bool m_showStartStop = true;
};
