// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase1D.h"

#include <vector>

// Interleaved 2 of 5; the printed text is the caller's text (without a padding zero).
class ITF : public BarcodeBase1D
{
public:
    explicit ITF(SDL_Renderer* renderer);
    explicit ITF(const std::string& outputFormat);

    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;
    std::vector<int> EncodeITF(const std::string& text) const;

private:
    LinearEncoder Encoder(const std::string& text) const;
};
