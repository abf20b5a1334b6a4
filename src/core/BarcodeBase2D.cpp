// SPDX-License-Identifier: MIT
#include "core/BarcodeBase2D.h"

#include "core/BitOps.h"
#include "core/Log.h"
#include "core/Numeric.h"
#include "core/text/Encodings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

using barcode_log::Stream;

// Bit j tells whether module j of the `count` (1 to 8) at `cells` is dark (non-zero).
std::uint64_t DarkBits(const std::uint8_t* cells, size_t count)
{
    std::uint64_t v = 0;
    for (size_t j = 0; j < count; ++j) {
        v |= std::uint64_t{cells[j]} << (8 * j);
    }
    // The top bit of each byte set where the byte is non-zero, then the eight top bits gathered.
    v = ((v & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | v;
    return ((v & 0x8080808080808080ULL) * 0x0002040810204081ULL) >> 56;
}

} // namespace

BarcodeBase2D::BarcodeBase2D(SDL_Renderer* renderer) : BarcodeBase(renderer) {}

BarcodeBase2D::BarcodeBase2D(const std::string& outputFormat) : BarcodeBase(outputFormat) {}

bool BarcodeBase2D::Draw(const std::string& text, int x, int y, int width, int height)
{
    return Draw(ConvertStringToBytes(text, m_stringEncoding), x, y, width, height);
}

bool BarcodeBase2D::Draw(const std::string& text, int x, int y, int size)
{
    return Draw(text, x, y, size, size);
}

bool BarcodeBase2D::Draw(const std::vector<std::uint8_t>& bytes, int x, int y, int size)
{
    return Draw(bytes, x, y, size, size);
}

bool BarcodeBase2D::Draw(const std::vector<std::uint8_t>& bytes, int x, int y, int width, int height)
{
    return DrawSymbol(IsSvgOutput() ? Target::Svg : Target::Raster, bytes, x, y, width, height);
}

bool BarcodeBase2D::DrawSvg(const std::vector<std::uint8_t>& bytes, int x, int y, int width, int height)
{
    return DrawSymbol(Target::Svg, bytes, x, y, width, height);
}

bool BarcodeBase2D::DrawSymbol(Target /*target*/, const std::vector<std::uint8_t>& /*bytes*/, int /*x*/, int /*y*/,
                               int /*width*/, int /*height*/)
{
    return false;
}

void BarcodeBase2D::DebugRows(const ModuleMatrix& modules)
{
    // A line each: a line feed inside a line is written as an escape (core/PrintableText.h).
    const std::string rows = modules.ToString();
    size_t at = 0;
    do {
        const size_t end = std::min(rows.find('\n', at), rows.size());
        barcode_log::Debug(Stream::Out, rows.substr(at, end - at));
        at = end + 1;
    } while (at < rows.size());
}

void BarcodeBase2D::SetStringEncoding(StringEncoding e)
{
    m_stringEncoding = e == StringEncoding::ShiftJis ? "shift-jis" : "utf-8";
}

std::vector<std::uint8_t> BarcodeBase2D::ConvertEncoding(const std::string& text, const std::string& from,
                                                         const std::string& to)
{
    return encodings::Convert(text, from, to);
}

std::vector<std::uint8_t> BarcodeBase2D::ConvertStringToBytes(const std::string& text, const std::string& encodingName)
{
    return encodings::ToBytes(text, encodingName);
}

std::vector<std::uint8_t> BarcodeBase2D::ConvertToUtf8(const std::string& text)
{
    return encodings::ToUtf8(text);
}

std::vector<std::uint8_t> BarcodeBase2D::ConvertToSJis(const std::string& text)
{
    return encodings::ToShiftJis(text);
}


namespace {

// A whole number small enough that sums of two stay exact in a float (and in the renderer).
bool Whole(float v)
{
    return std::trunc(v) == v && std::fabs(v) < 8388608.0f;
}

// True when every edge and both adjustments are whole numbers of pixels of a sane size.
bool WholePixels(const ModuleLayout& layout)
{
    const auto whole = [](const std::vector<float>& edges) { return std::all_of(edges.begin(), edges.end(), Whole); };
    return Whole(layout.extraWidth) && Whole(layout.extraHeight) && whole(layout.xEdges) && whole(layout.yEdges);
}

} // namespace

bool BarcodeBase2D::BeginRaster2D(const Box& requested, Box* paint, bool report)
{
    const auto fail = [report](const std::string& line) {
        if (report) {
            barcode_log::Error(Stream::Err, line);
        }
        return false;
    };
    m_callersRenderer = m_format.empty() && Canvas() != nullptr;
    if (m_callersRenderer) {
        *paint = requested;
        return true;
    }
    if (m_format.empty()) {
        return fail("エラー: 描画コンテキストが指定されていません (m_canvas も m_format も無効)。");
    }
    if (!BarcodeBase::Draw("dummy", requested.x, requested.y, requested.width, requested.height)) {
        return fail("エラー: BarcodeBase::Draw が false を返しました (サーフェス準備失敗の可能性)。");
    }
    if (Surface() == nullptr) {
        return fail("エラー: BarcodeBase::Draw の後で有効な描画サーフェス (m_surface) がありません。");
    }
    if (Canvas() == nullptr) {
        return fail(std::string("エラー: サーフェス用ソフトウェアレンダラーの作成に失敗しました: ") + SDL_GetError());
    }
    *paint = Box{0, 0, Surface()->w, Surface()->h};
    return true;
}

void BarcodeBase2D::EndRaster2D()
{
    if (m_callersRenderer && Canvas() != nullptr) {
        SDL_RenderPresent(Canvas());
    }
}

float BarcodeBase2D::FitPitch(Target target, float share, bool* centred)
{
    constexpr float kMinFractionalPitch = 2.0f;
    *centred = target == Target::Raster && !(share >= kMinFractionalPitch);
    return *centred ? 1.0f : share;
}

int BarcodeBase2D::CentringOffset(int size, float extent)
{
    const float slack = std::floor((static_cast<float>(size) - extent) / 2.0f);
    return slack > 0.0f ? static_cast<int>(slack) : 0;
}

std::vector<float> BarcodeBase2D::Edges(Target target, int origin, float pitch, int count)
{
    std::vector<float> edges(static_cast<size_t>(count < 0 ? 0 : count) + 1);
    for (size_t i = 0; i < edges.size(); ++i) {
        const float offset = pitch * static_cast<float>(i);
        edges[i] =
            target == Target::Raster
                ? static_cast<float>(static_cast<long long>(origin) + static_cast<long long>(std::roundf(offset)))
                : offset;
    }
    return edges;
}

bool BarcodeBase2D::AdjustmentKeepsModules(Target target, const std::string& tag, const ModuleLayout& layout)
{
    const auto narrowest = [](const std::vector<float>& edges) {
        float pitch = 0.0f;
        for (size_t i = 1; i < edges.size(); ++i) {
            const float p = edges[i] - edges[i - 1];
            pitch = i == 1 ? p : std::min(pitch, p);
        }
        return pitch;
    };
    const struct
    {
        float pitch;
        float extra;
    } axes[] = {{narrowest(layout.xEdges), layout.extraWidth}, {narrowest(layout.yEdges), layout.extraHeight}};
    // A raster rectangle keeps at least one pixel of a positive size; SVG keeps any.
    const float least = target == Target::Raster ? 1.0f : 0.0f;
    for (const auto& axis : axes) {
        if (!(axis.pitch > 0.0f) || axis.extra == 0.0f) {
            continue;
        }
        std::string problem;
        if (axis.extra >= axis.pitch) {
            problem = "covers the light modules";
        } else if (axis.pitch + axis.extra < least || axis.pitch + axis.extra <= 0.0f) {
            problem = "leaves the dark modules without a pixel";
        }
        if (!problem.empty()) {
            const long long pitch = numeric::SaturatingCast<long long>(axis.pitch);
            barcode_log::Error(Stream::Err, tag + "A black pixel adjustment of "
                                                + std::to_string(numeric::SaturatingCast<long long>(axis.extra)) + " "
                                                + problem + " (" + std::to_string(pitch)
                                                + (pitch == 1 ? " pixel" : " pixels") + " a module)");
            return false;
        }
    }
    return true;
}

void BarcodeBase2D::BeginModules(Target target, const Box& box)
{
    // The SVG document is the box itself, so its background starts at the origin.
    const bool svg = target == Target::Svg;
    if (svg) {
        SvgBegin(box.width, box.height);
    }
    FillRect(target, svg ? 0.0f : static_cast<float>(box.x), svg ? 0.0f : static_cast<float>(box.y),
             static_cast<float>(box.width), static_cast<float>(box.height), m_backgroundColor);
}

void BarcodeBase2D::PaintModules(Target target, const ModuleMatrix& modules, const ModuleLayout& layout)
{
    // On a raster whose fills replace pixels, a run of dark modules in a row is one rectangle:
    // whole-pixel edges that touch (or overlap, with a positive adjustment) cover the same
    // pixels as the modules one by one. The SVG keeps one rectangle per module.
    if (target == Target::Raster && layout.extraWidth >= 0.0f && WholePixels(layout) && FillsReplacePixels()) {
        PaintModuleRuns(modules, layout);
        return;
    }
    for (int y = 0; y < modules.height; ++y) {
        const float top = layout.yEdges[static_cast<size_t>(y)];
        const float h = layout.yEdges[static_cast<size_t>(y) + 1] - top + layout.extraHeight;
        for (int x = 0; x < modules.width; ++x) {
            if (!modules.get(x, y)) {
                continue;
            }
            const float left = layout.xEdges[static_cast<size_t>(x)];
            const float w = layout.xEdges[static_cast<size_t>(x) + 1] - left + layout.extraWidth;
            if (w <= 0.0f || h <= 0.0f) {
                continue;
            }
            FillRect(target, left, top, w, h, m_foregroundColor);
        }
    }
}

void BarcodeBase2D::PaintModuleRuns(const ModuleMatrix& modules, const ModuleLayout& layout)
{
    const auto edge = [](const std::vector<float>& edges, int i) { return edges[static_cast<size_t>(i)]; };
    std::vector<SDL_Rect> runs;
    // A row as bits with a light module after it, and the columns at which dark runs start and
    // end: the bits that differ from the one before, eight modules and then a word at a time.
    const auto width = static_cast<size_t>(modules.width);
    std::vector<std::uint64_t> dark(width / 64 + 1);
    std::vector<int> turns(width + 2);
    for (int y = 0; y < modules.height; ++y) {
        const float top = edge(layout.yEdges, y);
        const float h = edge(layout.yEdges, y + 1) - top + layout.extraHeight;
        if (h <= 0.0f) {
            continue;
        }
        const std::uint8_t* row = modules.cells.data() + static_cast<size_t>(y) * width;
        std::fill(dark.begin(), dark.end(), 0);
        for (size_t x = 0; x < width; x += 8) {
            dark[x / 64] |= DarkBits(row + x, std::min<size_t>(8, width - x)) << (x % 64);
        }
        size_t count = 0;
        std::uint64_t carry = 0;
        for (size_t w = 0; w < dark.size(); ++w) {
            for (std::uint64_t t = dark[w] ^ ((dark[w] << 1) | carry); t != 0; t &= t - 1) {
                turns[count++] = static_cast<int>(64 * w) + bit_ops::TrailingZeros(t);
            }
            carry = dark[w] >> 63;
        }
        for (size_t i = 0; i + 1 < count; i += 2) {
            // Modules without width inside the run cover nothing on their own. The edges are
            // whole pixels: the rectangle is the run's own span (what ToRasterRect makes of it).
            const float left = edge(layout.xEdges, turns[i]);
            const float w = edge(layout.xEdges, turns[i + 1]) - left + layout.extraWidth;
            if (w > 0.0f) {
                runs.push_back(
                    SDL_Rect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(w), static_cast<int>(h)});
            }
        }
    }
    FillRasterRects(runs, m_foregroundColor);
}

void BarcodeBase2D::EndModules(Target target)
{
    if (target == Target::Svg) {
        SvgEnd();
    } else {
        EndRaster2D();
    }
}
