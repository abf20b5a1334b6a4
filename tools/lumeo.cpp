// SPDX-License-Identifier: MIT
// lumeo: draws barcodes through the library's C interface.
//
//   lumeo TYPE TEXT -o FILE.png|FILE.svg [--width W --height H] [options]
//   lumeo gallery DIR
#include "barcode_lumeo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TypeName
{
    const char* name;
    int type;
};

// Type names accepted on the command line; the type number works too.
const TypeName kTypes[] = {
    {"code39", 0},     {"code93", 1},        {"code128", 2},      {"gs1-128", 3},          {"nw7", 4},
    {"matrix2of5", 5}, {"nec2of5", 6},       {"jan8", 7},         {"jan13", 8},            {"upca", 9},
    {"upce", 10},      {"itf", 11},          {"databar14", 12},   {"databar-limited", 13}, {"databar-expanded", 14},
    {"yubin", 15},     {"qr", 16},           {"datamatrix", 17},  {"pdf417", 18},
};

struct Request
{
    int type = -1;
    std::string text;
    std::string output;
    int width = 0;
    int height = 0;
    std::string draw = "1d"; // 1d, 2d, yubin, convenience, stacked
    std::vector<std::function<void(void*)>> setters;
};

// Options that take a value, each one a C interface setter.
struct ValueOption
{
    const char* name;
    const char* help;
    std::function<void(void*, const std::string&)> apply;
};

int ToInt(const std::string& s)
{
    size_t used = 0;
    const int v = std::stoi(s, &used);
    if (used != s.size()) {
        throw std::invalid_argument(s);
    }
    return v;
}

double ToDouble(const std::string& s)
{
    size_t used = 0;
    const double v = std::stod(s, &used);
    if (used != s.size()) {
        throw std::invalid_argument(s);
    }
    return v;
}

std::vector<int> ToColor(const std::string& s)
{
    std::vector<int> c;
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, ',')) {
        c.push_back(ToInt(part));
    }
    if (c.size() == 3) {
        c.push_back(255);
    }
    if (c.size() != 4) {
        throw std::invalid_argument(s);
    }
    return c;
}

const std::vector<ValueOption>& Options()
{
    static const std::vector<ValueOption> options = {
        {"--fg", "R,G,B[,A] bar colour",
         [](void* h, const std::string& v) {
             const auto c = ToColor(v);
             barcode_set_foreground_color(h, c[0], c[1], c[2], c[3]);
         }},
        {"--bg", "R,G,B[,A] background colour",
         [](void* h, const std::string& v) {
             const auto c = ToColor(v);
             barcode_set_background_color(h, c[0], c[1], c[2], c[3]);
         }},
        {"--fit-width", "0|1 keep fractional module widths",
         [](void* h, const std::string& v) { barcode_set_fit_width(h, ToInt(v)); }},
        {"--px-black", "N pixels added to every bar", [](void* h, const std::string& v) { barcode_set_px_adjust_black(h, ToInt(v)); }},
        {"--px-white", "N pixels added to every space", [](void* h, const std::string& v) { barcode_set_px_adjust_white(h, ToInt(v)); }},
        {"--show-text", "0|1 human-readable text", [](void* h, const std::string& v) { barcode_set_show_text(h, ToInt(v)); }},
        {"--font-scale", "F text size factor", [](void* h, const std::string& v) { barcode_set_text_font_scale(h, ToDouble(v)); }},
        {"--text-gap", "F gap factor between bars and text", [](void* h, const std::string& v) { barcode_set_text_gap(h, ToDouble(v)); }},
        {"--even-spacing", "0|1 spread the text characters", [](void* h, const std::string& v) { barcode_set_text_even_spacing(h, ToInt(v)); }},
        {"--start-stop", "0|1 print start/stop characters (Code 39, NW-7)", [](void* h, const std::string& v) { barcode_set_show_start_stop(h, ToInt(v)); }},
        {"--code-mode", "A|B|C|AUTO Code 128 code set", [](void* h, const std::string& v) { barcode_set_code_mode(h, v.c_str()); }},
        {"--extended-guard", "0|1 JAN/UPC guard style", [](void* h, const std::string& v) { barcode_set_extended_guard(h, ToInt(v)); }},
        {"--encoding", "utf-8|shift-jis text encoding of 2D symbols", [](void* h, const std::string& v) { barcode_set_string_encoding(h, v.c_str()); }},
        {"--level", "L|M|Q|H QR error correction", [](void* h, const std::string& v) { barcode_set_error_correction_level(h, v.c_str()); }},
        {"--version", "N QR version (0 = automatic)", [](void* h, const std::string& v) { barcode_set_version(h, ToInt(v)); }},
        {"--mode", "AUTO|BYTE|NUMERIC|ALPHANUMERIC|KANJI QR mode", [](void* h, const std::string& v) { barcode_set_encode_mode(h, v.c_str()); }},
        {"--code-size", "AUTO|RxC Data Matrix size", [](void* h, const std::string& v) { barcode_set_code_size(h, v.c_str()); }},
        {"--size", "AUTO|RxC same as --code-size", [](void* h, const std::string& v) { barcode_set_code_size(h, v.c_str()); }},
        {"--scheme", "AUTO|ASCII|C40|TEXT|X12|EDIFACT|BASE256 Data Matrix encodation", [](void* h, const std::string& v) { barcode_set_encode_scheme(h, v.c_str()); }},
        {"--error-level", "N PDF417 error level", [](void* h, const std::string& v) { barcode_set_error_level(h, ToInt(v)); }},
        {"--columns", "N PDF417 columns", [](void* h, const std::string& v) { barcode_set_columns(h, ToInt(v)); }},
        {"--rows", "N PDF417 rows", [](void* h, const std::string& v) { barcode_set_rows(h, ToInt(v)); }},
        {"--aspect-ratio", "F PDF417 aspect ratio", [](void* h, const std::string& v) { barcode_set_aspect_ratio(h, ToDouble(v)); }},
        {"--ratio", "F same as --aspect-ratio", [](void* h, const std::string& v) { barcode_set_aspect_ratio(h, ToDouble(v)); }},
        {"--y-height", "N PDF417 row height", [](void* h, const std::string& v) { barcode_set_y_height(h, ToInt(v)); }},
        {"--databar14", "OMNIDIRECTIONAL|STACKED|STACKED_OMNIDIRECTIONAL", [](void* h, const std::string& v) { barcode_set_symbol_type_14(h, v.c_str()); }},
        {"--databar-exp", "UNSTACKED|STACKED", [](void* h, const std::string& v) { barcode_set_symbol_type_exp(h, v.c_str()); }},
        {"--block-columns", "N DataBar Expanded blocks per row", [](void* h, const std::string& v) { barcode_set_no_of_columns(h, ToInt(v)); }},
    };
    return options;
}

void Usage(std::ostream& out)
{
    out << "usage: lumeo TYPE TEXT -o FILE.png|FILE.svg [--width W --height H] [options]\n"
           "       lumeo gallery DIR\n\n"
           "TYPE is a type number (0-18) or one of:";
    for (const TypeName& t : kTypes) {
        out << ' ' << t.name;
    }
    out << "\n\noptions:\n"
           "  --width W, --height H   box size in pixels (default 400 x 150; 2D: 300 x 300)\n"
           "  --draw KIND             1d (default), 2d (square 2D), yubin (postal by height),\n"
           "                          convenience (payment barcode), stacked (DataBar Expanded)\n";
    for (const ValueOption& o : Options()) {
        out << "  " << o.name << ' ' << o.help << '\n';
    }
}

int ParseType(const std::string& s)
{
    for (const TypeName& t : kTypes) {
        if (s == t.name) {
            return t.type;
        }
    }
    try {
        const int n = ToInt(s);
        return (n >= 0 && n <= 18) ? n : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

// Parses TYPE TEXT and the options; throws std::invalid_argument with a reason.
Request Parse(const std::vector<std::string>& args)
{
    if (args.size() < 2) {
        throw std::invalid_argument("TYPE and TEXT are required");
    }
    Request r;
    r.type = ParseType(args[0]);
    if (r.type < 0) {
        throw std::invalid_argument("unknown type '" + args[0] + "'");
    }
    r.text = args[1];
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) {
            throw std::invalid_argument("option " + a + " needs a value");
        }
        const std::string& v = args[++i];
        try {
            if (a == "-o" || a == "--output") {
                r.output = v;
            } else if (a == "--width") {
                r.width = ToInt(v);
            } else if (a == "--height") {
                r.height = ToInt(v);
            } else if (a == "--draw") {
                if (v != "1d" && v != "2d" && v != "yubin" && v != "convenience" && v != "stacked") {
                    throw std::invalid_argument(v);
                }
                r.draw = v;
            } else {
                const ValueOption* option = nullptr;
                for (const ValueOption& o : Options()) {
                    if (a == o.name) {
                        option = &o;
                    }
                }
                if (option == nullptr) {
                    throw std::invalid_argument("unknown option " + a);
                }
                option->apply(nullptr, v); // validates the value; a null handle is ignored
                auto apply = option->apply;
                r.setters.push_back([apply, v](void* h) { apply(h, v); });
            }
        } catch (const std::invalid_argument& e) {
            throw std::invalid_argument(std::string("bad value for ") + a + ": " + v);
        } catch (const std::out_of_range&) {
            throw std::invalid_argument(std::string("bad value for ") + a + ": " + v);
        }
    }
    if (r.output.empty()) {
        throw std::invalid_argument("-o FILE is required");
    }
    const bool twoD = r.type >= 16;
    if (r.width == 0) {
        r.width = twoD ? 300 : 400;
    }
    if (r.height == 0) {
        r.height = twoD ? 300 : 150;
    }
    return r;
}

bool EndsWith(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool DrawRequest(void* h, const Request& r)
{
    const char* t = r.text.c_str();
    if (r.draw == "2d") {
        return barcode_draw_2d(h, t, r.width);
    }
    if (r.draw == "yubin") {
        return barcode_draw_yubin(h, t, r.height);
    }
    if (r.draw == "convenience") {
        return barcode_draw_convenience(h, t, r.width, r.height);
    }
    if (r.draw == "stacked") {
        return barcode_draw_stacked(h, t, r.width, r.height);
    }
    return barcode_draw_1d(h, t, r.width, r.height);
}

// Draws one request into its output file; prints the reason and returns false on failure.
bool Render(const Request& r)
{
    const bool svg = EndsWith(r.output, ".svg");
    if (!svg && !EndsWith(r.output, ".png")) {
        std::cerr << "lumeo: output must end in .png or .svg: " << r.output << '\n';
        return false;
    }
    void* h = barcode_create(r.type);
    if (h == nullptr) {
        std::cerr << "lumeo: symbology " << r.type << " is not available in this build\n";
        return false;
    }
    barcode_set_output_format(h, svg ? "svg" : "png");
    for (const auto& set : r.setters) {
        set(h);
    }
    bool ok = DrawRequest(h, r);
    if (ok) {
        std::ofstream out(r.output, std::ios::binary);
        if (svg) {
            const std::string doc = barcode_get_svg(h);
            out << doc;
            ok = !doc.empty();
        } else {
            int size = 0;
            const unsigned char* png = barcode_get_image_data(h, &size);
            ok = png != nullptr && size > 0;
            if (ok) {
                out.write(reinterpret_cast<const char*>(png), size);
            }
        }
        ok = ok && static_cast<bool>(out);
        if (!ok) {
            std::cerr << "lumeo: cannot write " << r.output << '\n';
        }
    } else {
        std::cerr << "lumeo: the symbol could not be drawn from \"" << r.text << "\"\n";
    }
    barcode_destroy(h);
    return ok;
}

// One gallery entry: a file stem, a caption and the command line that draws it.
struct GalleryRow
{
    const char* stem;
    const char* caption;
    std::vector<std::string> args; // TYPE TEXT [options]
};

const std::vector<GalleryRow>& Gallery()
{
    static const std::vector<GalleryRow> rows = {
        {"code39", "Code 39", {"code39", "LUMEO-39", "--width", "400", "--height", "150"}},
        {"qr", "QR Code", {"qr", "https://example.jp/lumeo?item=4901234567894", "--draw", "2d", "--width", "250"}},
        {"qr-level-h", "QR Code, level H", {"qr", "SN-2024-000123 LOT A7", "--level", "H", "--draw", "2d", "--width", "250"}},
        {"qr-version-10", "QR Code, version 10, fit width",
         {"qr", "TEL:+81-3-1234-5678", "--version", "10", "--level", "Q", "--fit-width", "1", "--draw", "2d", "--width", "250"}},
        {"qr-numeric", "QR Code, numeric mode",
         {"qr", "4901234567894202406010001", "--mode", "NUMERIC", "--level", "L", "--draw", "2d", "--width", "200"}},
        {"qr-utf8", "QR Code, Japanese in UTF-8",
         {"qr", "東京都千代田区丸の内１丁目", "--encoding", "utf-8", "--draw", "2d", "--width", "250"}},
        {"qr-shift-jis", "QR Code, Japanese in Shift-JIS",
         {"qr", "東京都千代田区丸の内１丁目～", "--encoding", "shift-jis", "--draw", "2d", "--width", "250"}},
        {"code128", "Code 128 (automatic code sets)", {"code128", "Order No. 2024-00815", "--width", "600", "--height", "150"}},
        {"gs1-128", "GS1-128 (GTIN, best before, batch)",
         {"gs1-128", "{FNC1}0104912345678904{AI}15261231{AI}10LOT-42A", "--width", "640", "--height", "150",
          "--even-spacing", "0", "--font-scale", "0.8"}},
        {"convenience", "Convenience-store payment barcode",
         {"gs1-128", "9191234500012345678901234567810261231000150", "--draw", "convenience", "--width", "500",
          "--height", "160"}},
        {"code93", "Code 93", {"code93", "PN-4711/B", "--width", "400", "--height", "150"}},
        {"nw7", "NW-7 (Codabar), delivery slip", {"nw7", "A0123-4567-89B", "--width", "400", "--height", "150"}},
        {"nw7-hidden", "NW-7 without start/stop text",
         {"nw7", "D30-0045:17D", "--width", "400", "--height", "150", "--start-stop", "0"}},
        {"itf", "ITF, case code (ITF-14)", {"itf", "14901234567891", "--width", "400", "--height", "150"}},
        {"itf-odd", "ITF, odd digit count", {"itf", "1234567", "--width", "300", "--height", "120"}},
        {"matrix2of5", "Matrix 2 of 5", {"matrix2of5", "20240415", "--width", "400", "--height", "150"}},
        {"nec2of5", "NEC 2 of 5", {"nec2of5", "0123456789", "--width", "400", "--height", "150"}},
        {"yubin", "Japan Post customer barcode",
         {"yubin", "2630023 千葉市稲毛区緑町3-30-8-403", "--height", "45", "--draw", "yubin"}},
        {"jan13", "JAN-13, extended guard",
         {"jan13", "4901234567894", "--width", "400", "--height", "150", "--extended-guard", "1"}},
        {"jan13-uniform", "JAN-13, uniform bars",
         {"jan13", "490123456789", "--width", "400", "--height", "150", "--extended-guard", "0"}},
        {"jan8", "JAN-8, extended guard",
         {"jan8", "49012347", "--width", "300", "--height", "150", "--extended-guard", "1"}},
        {"jan8-uniform", "JAN-8, uniform bars",
         {"jan8", "4901234", "--width", "300", "--height", "150", "--extended-guard", "0"}},
        {"upca", "UPC-A, extended guard",
         {"upca", "036000291452", "--width", "400", "--height", "150", "--extended-guard", "1"}},
        {"upca-uniform", "UPC-A, uniform bars",
         {"upca", "03600029145", "--width", "400", "--height", "150", "--extended-guard", "0"}},
        {"upce", "UPC-E, extended guard",
         {"upce", "04252614", "--width", "300", "--height", "150", "--extended-guard", "1"}},
        {"upce-uniform", "UPC-E, uniform bars",
         {"upce", "425261", "--width", "300", "--height", "150", "--extended-guard", "0"}},
        {"pdf417", "PDF417", {"pdf417", "PDF417 lumeo sample 2024", "--draw", "2d", "--width", "120"}},
        {"pdf417-mixed", "PDF417, text, a long digit run and bytes above 127",
         {"pdf417", "Invoice 2024-06 / Lot A7: 49012345678901234567890123456789012345678901234567 "
                    "Café déjà vu, 東京都千代田区丸の内１丁目 (total ¥12,800)",
          "--draw", "2d", "--width", "200"}},
        {"pdf417-ratio", "PDF417, aspect ratio 1, row height 4",
         {"pdf417", "https://example.jp/lumeo?item=4901234567894&lot=A7", "--aspect-ratio", "1", "--y-height", "4",
          "--draw", "2d", "--width", "200"}},
        {"databar14", "GS1 DataBar Omnidirectional", {"databar14", "2001234567890", "--width", "400", "--height", "120"}},
        {"databar14-stacked", "GS1 DataBar Stacked",
         {"databar14", "0950110153001", "--databar14", "STACKED", "--width", "250", "--height", "120"}},
        {"databar14-stacked-omni", "GS1 DataBar Stacked Omnidirectional",
         {"databar14", "4512345678906", "--databar14", "STACKED_OMNIDIRECTIONAL", "--width", "300", "--height", "150"}},
        {"databar-limited", "GS1 DataBar Limited", {"databar-limited", "1501234567890", "--width", "300", "--height", "100"}},
        {"datamatrix", "Data Matrix (square, automatic size)",
         {"datamatrix", "https://example.jp/lumeo?item=4901234567894", "--draw", "2d", "--width", "250"}},
        {"datamatrix-rect", "Data Matrix, rectangular 16x48",
         {"datamatrix", "LOT A7-2024/06 SN 000123", "--code-size", "16x48", "--width", "480", "--height", "160"}},
        {"datamatrix-c40", "Data Matrix, C40 scheme",
         {"datamatrix", "PART 4711-0815 REV B", "--scheme", "C40", "--draw", "2d", "--width", "200"}},
        {"datamatrix-shift-jis", "Data Matrix, Japanese in Shift-JIS (automatic scheme)",
         {"datamatrix", "東京都千代田区丸の内１丁目～", "--encoding", "shift-jis", "--scheme", "AUTO", "--draw", "2d",
          "--width", "250"}},
        {"databar-expanded", "GS1 DataBar Expanded (GTIN, net weight, best before)",
         {"databar-expanded", "0190012345678908{AI}3103001750{AI}15251231", "--width", "700", "--height", "120"}},
        {"databar-expanded-stacked", "GS1 DataBar Expanded Stacked, 2 blocks a row",
         {"databar-expanded", "0194912345678907{AI}10LOT-42A[{AI}21SN12345", "--draw", "stacked", "--block-columns", "2",
          "--width", "500", "--height", "260", "--even-spacing", "0", "--font-scale", "0.45"}},
    };
    return rows;
}

std::string HtmlEscape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

int RunGallery(const std::string& dir)
{
    const std::string mk = "mkdir -p '" + dir + "'";
    if (dir.find('\'') != std::string::npos || std::system(mk.c_str()) != 0) {
        std::cerr << "lumeo: cannot create directory " << dir << '\n';
        return 1;
    }
    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>barcode_lumeo gallery</title>\n<style>\n"
            "body{font-family:sans-serif;margin:2em;background:#f4f4f4}\n"
            "table{border-collapse:collapse}td,th{padding:12px;border:1px solid #ccc;background:#fff;vertical-align:middle}\n"
            "img{display:block;max-width:420px}\n</style>\n</head>\n<body>\n<h1>barcode_lumeo gallery</h1>\n"
            "<table>\n<tr><th>Symbology</th><th>Text</th><th>PNG</th><th>SVG</th></tr>\n";
    int failures = 0;
    int drawn = 0;
    for (const GalleryRow& row : Gallery()) {
        bool ok = true;
        for (const char* ext : {".png", ".svg"}) {
            std::vector<std::string> args = row.args;
            args.emplace_back("-o");
            args.push_back(dir + "/" + row.stem + ext);
            try {
                ok = Render(Parse(args)) && ok;
            } catch (const std::exception& e) {
                std::cerr << "lumeo: gallery row " << row.stem << ": " << e.what() << '\n';
                ok = false;
            }
        }
        if (!ok) {
            ++failures;
            continue;
        }
        ++drawn;
        html << "<tr><td>" << HtmlEscape(row.caption) << "</td><td><code>" << HtmlEscape(row.args[1])
             << "</code></td><td><img src=\"" << row.stem << ".png\" alt=\"" << HtmlEscape(row.caption)
             << " PNG\"></td><td><img src=\"" << row.stem << ".svg\" alt=\"" << HtmlEscape(row.caption)
             << " SVG\"></td></tr>\n";
    }
    html << "</table>\n</body>\n</html>\n";
    std::ofstream index(dir + "/index.html");
    index << html.str();
    if (!index) {
        std::cerr << "lumeo: cannot write " << dir << "/index.html\n";
        return 1;
    }
    std::cout << "lumeo: wrote " << drawn << " symbols to " << dir << "/index.html\n";
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // The tool speaks for itself: keep the library's progress lines out of its output.
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help") {
        Usage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "gallery") {
        if (args.size() != 2) {
            Usage(std::cerr);
            return 2;
        }
        return RunGallery(args[1]);
    }
    try {
        return Render(Parse(args)) ? 0 : 1;
    } catch (const std::invalid_argument& e) {
        std::cerr << "lumeo: " << e.what() << "\n\n";
        Usage(std::cerr);
        return 2;
    }
}
