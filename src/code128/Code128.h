// SPDX-License-Identifier: MIT
#pragma once

#include "code128/Code128Encoder.h"
#include "core/BarcodeBase1D.h"

#include <string>
#include <vector>

// Code 128 (ISO/IEC 15417) in one fixed code set or with optimised code sets.
class Code128 : public BarcodeBase1D
{
public:
    explicit Code128(SDL_Renderer* renderer);
    explicit Code128(const std::string& outputFormat);

    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;

    // Element widths of `text` in the stored code mode. Throws std::runtime_error "Empty
    // string", "Invalid CodeMode" or the encoder's message.
    virtual std::vector<int> EncodeCode128(const std::string& text);

    std::vector<int> EncodeSingleSet(const std::string& text, code128::CodeSet128 set) const;
    std::vector<int> EncodeAuto(const std::string& text) const;

    // 0 = set A, 1 = set B, 2 = set C, 3 = automatic (the default).
    void SetCodeMode(int mode) { m_codeMode = mode; }

    int GetCodeMode() const { return m_codeMode; }

private:
    LinearEncoder Encoder(const std::string& text);

    int m_codeMode = static_cast<int>(code128::CodeSet128::Auto);
};
