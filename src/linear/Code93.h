// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase1D.h"

#include <vector>

// Code 93 with its two modulo-47 check characters; the printed text is the caller's text.
class Code93 : public BarcodeBase1D
{
public:
    explicit Code93(SDL_Renderer* renderer);
    explicit Code93(const std::string& outputFormat);

    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;
    virtual std::vector<int> EncodeCode93(const std::string& text);

    static int GetModulus47(const std::string& data, int maxWeight);

private:
    LinearEncoder Encoder(const std::string& text);
};
