// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase1D.h"
#include "linear/TwoOfFiveEncoder.h"

#include <vector>

// The drawing shared by Matrix 2 of 5 and NEC 2 of 5; the variant names the code in messages.
class TwoOfFive : public BarcodeBase1D
{
public:
    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;

protected:
    TwoOfFive(SDL_Renderer* renderer, const linear::TwoOfFiveVariant& variant);
    TwoOfFive(const std::string& outputFormat, const linear::TwoOfFiveVariant& variant);

    std::vector<int> Encode(const std::string& text) const;

private:
    LinearEncoder Encoder(const std::string& text) const;

    const linear::TwoOfFiveVariant& m_variant;
};

class Matrix2of5 : public TwoOfFive
{
public:
    explicit Matrix2of5(SDL_Renderer* renderer);
    explicit Matrix2of5(const std::string& outputFormat);

    std::vector<int> EncodeMatrix2of5(const std::string& text) const { return Encode(text); }
};

class NEC2of5 : public TwoOfFive
{
public:
    explicit NEC2of5(SDL_Renderer* renderer);
    explicit NEC2of5(const std::string& outputFormat);

    std::vector<int> EncodeNEC2of5(const std::string& text) const { return Encode(text); }
};
