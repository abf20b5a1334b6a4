// SPDX-License-Identifier: MIT
// lumeo: draws barcodes through the library's C interface, with the quiet zone that each
// symbology's standard asks for.
//
//   lumeo TYPE TEXT|- -o FILE|- [--width W --height H] [--format png|png8|svg] [--margin N] [options]
//   lumeo batch FILE.csv DIR [options]
//   lumeo gallery DIR
//   lumeo serve [--listen ADDR:PORT] [--threads N] [--cors ORIGIN] [--access-log FILE|-]
//   lumeo --list | --help | --version
//
// Standard output carries the image (-o -) or the listing asked for, nothing else: the
// library's lines and every reason go to standard error. Exit status: 0 done, 1 a symbol that
// cannot be drawn or written, 2 a command line that cannot be used.
#include "AtomicWrite.h"
#include "Batch.h"
#include "Command.h"
#ifdef LUMEO_WITH_SERVER
#include "Service.h"
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

using lumeo::DrawError;
using lumeo::UsageError;

// Where the image goes for -o -: the original standard output. Standard output itself is
// pointed at standard error while a symbol is drawn, so that nothing but the image reaches it.
int g_imageFd = 1;

void GuardStandardOutput()
{
    std::fflush(stdout);
    const int fd = ::dup(1);
    if (fd >= 0 && ::dup2(2, 1) >= 0) {
        g_imageFd = fd;
    }
}

void WriteOutput(const std::string& path, const std::string& bytes)
{
    if (path == "-") {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(g_imageFd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                throw DrawError(std::string("cannot write to standard output: ") + std::strerror(n < 0 ? errno : EIO));
            }
            done += static_cast<size_t>(n);
        }
        return;
    }
    try {
        lumeo::WriteFileAtomically(path, bytes);
    } catch (const std::runtime_error& e) {
        throw DrawError(e.what());
    }
}

void PrintWarnings(const std::string& warnings)
{
    if (!warnings.empty()) {
        std::cerr << "lumeo: " << warnings << '\n';
    }
}

// Draws one request into its output; prints the reason and returns false on failure.
bool Render(const lumeo::Request& r)
{
    try {
        const lumeo::Rendered out = lumeo::Produce(r);
        PrintWarnings(out.warnings);
        PrintWarnings(out.notes);
        WriteOutput(r.output, out.bytes);
        return true;
    } catch (const std::exception& e) {
        std::cerr << "lumeo: " << e.what() << '\n';
        return false;
    }
}

// One line of a batch: parse and draw, reporting instead of printing.
lumeo::Rendered RenderLine(const std::vector<std::string>& args)
{
    return lumeo::Produce(lumeo::Parse(args));
}

std::string ReadStandardInput()
{
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
    return text;
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
         {"qr", "TEL:+81-3-1234-5678", "--qr-version", "10", "--level", "Q", "--fit-width", "1", "--draw", "2d", "--width", "250"}},
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
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::cerr << "lumeo: cannot create directory " << dir << ": " << ec.message() << '\n';
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
                ok = Render(lumeo::Parse(args)) && ok;
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
    try {
        lumeo::WriteFileAtomically(dir + "/index.html", html.str());
    } catch (const std::exception& e) {
        std::cerr << "lumeo: " << e.what() << '\n';
        return 1;
    }
    std::cout << "lumeo: wrote " << drawn << " symbols to " << dir << "/index.html\n";
    return failures == 0 ? 0 : 1;
}

int Usage(const std::string& reason)
{
    std::cerr << "lumeo: " << reason << "\nrun 'lumeo --help' for the options and examples\n";
    return 2;
}

int Run(std::vector<std::string> args)
{
    if (args.empty()) {
        lumeo::Usage(std::cerr);
        return 2;
    }
    const std::string& first = args[0];
    if (first == "-h" || first == "--help" || first == "--list" || first == "--version" || first == "-V") {
        if (args.size() != 1) {
            return Usage(first + " takes no other arguments" +
                         (first == "--version" ? " (the QR version is --qr-version N, after TYPE)" : ""));
        }
        if (first == "--list") {
            lumeo::List(std::cout);
        } else if (first == "--version" || first == "-V") {
            std::cout << lumeo::Versions();
        } else {
            lumeo::Usage(std::cout);
#ifdef LUMEO_WITH_SERVER
            lumeo::serve::ServeUsage(std::cout);
#endif
        }
        std::cout.flush();
        return std::cout ? 0 : 1;
    }
    if (first == "gallery") {
        if (args.size() != 2) {
            return Usage("gallery DIR expected");
        }
        return RunGallery(args[1]);
    }
    if (first == "serve") {
#ifdef LUMEO_WITH_SERVER
        return lumeo::serve::Serve(lumeo::serve::ParseConfig({args.begin() + 1, args.end()}));
#else
        throw DrawError("this lumeo is built without serve (it needs cpp-httplib)");
#endif
    }
    if (first == "batch") {
        if (args.size() < 3) {
            return Usage("batch FILE.csv DIR [options] expected");
        }
        const std::vector<std::string> shared(args.begin() + 3, args.end());
        lumeo::CheckSharedOptions(shared);
        return lumeo::RunBatch(args[1], args[2], shared, RenderLine);
    }
    if (args.size() >= 2 && args[1] == "-") {
        args[1] = ReadStandardInput();
    }
    GuardStandardOutput();
    return Render(lumeo::Parse(args)) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // The tool speaks for itself: the library's progress lines stay out, and what it does say
    // comes through the tool to standard error.
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    lumeo::RouteLibraryLines();
    lumeo::InstallCleanupHandlers();
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        return Usage(e.what());
    } catch (const std::exception& e) {
        std::cerr << "lumeo: " << e.what() << '\n';
        return 1;
    }
}
