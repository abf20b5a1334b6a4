// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase2D.h"
#include "pdf417/Pdf417Encoder.h"

#include <cstdint>
#include <string>
#include <vector>

// Error correction level 0..8: 2 << level error correction codewords.
enum class PDF417ErrorLevel : std::int32_t
{
    Level0 = 0,
    Level1 = 1,
    Level2 = 2,
    Level3 = 3,
    Level4 = 4,
    Level5 = 5,
    Level6 = 6,
    Level7 = 7,
    Level8 = 8
};

// How the grid is chosen: from the aspect ratio and y-height, from the rows, from the columns, or
// from both.
enum class PDF417SizeMode : std::int32_t
{
    Auto = 0,
    Rows = 1,
    Columns = 2,
    ColumnsAndRows = 3
};

// PDF417 (ISO/IEC 15438) with text, numeric and byte compaction, an automatic or fixed error
// correction level and a grid chosen by size mode. Each draw runs its own engine; what the engine
// keeps from one draw to the next (the size kind, the automatic-level flag) is kept per object.
class PDF417 : public BarcodeBase2D
{
public:
    explicit PDF417(SDL_Renderer* renderer);
    explicit PDF417(const std::string& outputFormat);

    // The symbol's modules (rows x (17 x columns + 69)) from the error level, columns, rows,
    // aspect ratio and y-height, with the size kind and automatic-level flag this object's engine
    // last had. The bytes of `text` are taken as they are.
    ModuleMatrix CalPDF417(const std::string& text);
    ModuleMatrix CalPDF417(const std::vector<std::uint8_t>& data);
    // Hands every option to this object's engine (the draws do the same).
    void ApplySettingsToInternal();

    void SetErrorLevel(PDF417ErrorLevel level) { m_errorLevel = level; }

    PDF417ErrorLevel GetErrorLevel() const { return m_errorLevel; }

    // 0..30; other values are ignored.
    void SetColumns(int columns);

    int GetColumns() const { return m_columns; }

    // 0..90; other values are ignored.
    void SetRows(int rows);

    int GetRows() const { return m_rows; }

    // Stored as given; a value outside the four modes leaves the engine's previous size kind.
    void SetSizeMode(PDF417SizeMode mode) { m_sizeMode = mode; }

    PDF417SizeMode GetSizeMode() const { return m_sizeMode; }

    // 0.001..1000; other values are ignored.
    void SetAspectRatio(double ratio);

    double GetAspectRatio() const { return m_aspectRatio; }

    // 1 or more; other values are ignored.
    void SetYHeight(int height);

    int GetYHeight() const { return m_yHeight; }

    // Stored (negative values as 0); no drawing uses it.
    void SetQuietZoneWidth(int width);

    int GetQuietZoneWidth() const { return m_quietZoneWidth; }

    // Takes effect in this object's engine at once.
    void SetUseAutoErrorLevel(bool on);

    bool GetUseAutoErrorLevel() const { return m_useAutoErrorLevel; }

private:
    // The whole draw on either output (every Draw form ends here). Empty data leave as
    // std::runtime_error ("Text cannot be null."), data that do not fit as std::out_of_range ("The
    // text is too big."). A request with width == height keeps the height and takes the symbol's
    // natural width (rows y-height modules high), at least one pixel a module.
    bool DrawSymbol(Target target, const std::vector<std::uint8_t>& data, int x, int y, int width, int height) override;
    // One SVG rectangle per run of dark modules in a row, exactly as wide as its modules: the
    // modules of a bar meet without a seam, and no bar spills into the space after it.
    void PaintSvgRuns(const ModuleMatrix& modules, const ModuleLayout& layout);
    // The engine settings of a draw (every option) or of CalPDF417 (size kind and automatic flag
    // as the engine last had them).
    internal_pdf417::LayoutSettings EngineSettings() const;

    PDF417ErrorLevel m_errorLevel = PDF417ErrorLevel::Level2;
    int m_columns = 0;
    int m_rows = 0;
    PDF417SizeMode m_sizeMode = PDF417SizeMode::Auto;
    double m_aspectRatio = 0.5;
    int m_yHeight = 3;
    int m_quietZoneWidth = 2;
    bool m_useAutoErrorLevel = true;
    // What this object's engine holds between draws.
    internal_pdf417::SizeKind m_engineSizeKind = internal_pdf417::SizeKind::Auto;
    bool m_engineAutoErrorLevel = true;
};
