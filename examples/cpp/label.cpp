// SPDX-License-Identifier: MIT
// Retail and logistics symbols from C++: a small RAII wrapper over the C interface that turns a
// failed draw into an exception, used over a table of symbols.
//
//   label_cpp [DIR]      writes DIR/<name>.png for each row and DIR/jan13.svg
#include <barcode_lumeo.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class Symbol
{
public:
    explicit Symbol(int type) : m_handle(barcode_create(type), &barcode_destroy)
    {
        if (!m_handle) {
            throw std::runtime_error("type " + std::to_string(type) + " is not built into this library");
        }
    }

    // The options are plain calls on the handle.
    void* get() const { return m_handle.get(); }

    std::vector<unsigned char> Png(const std::string& text, int width, int height)
    {
        barcode_set_output_format(get(), "png");
        Draw(text, width, height);
        int size = 0;
        const unsigned char* png = barcode_get_image_data(get(), &size);
        if (png == nullptr) {
            throw std::runtime_error("no PNG data for \"" + text + "\"");
        }
        return {png, png + size}; // copied: the handle's buffer lives only until its next call
    }

    std::string Svg(const std::string& text, int width, int height)
    {
        barcode_set_output_format(get(), "svg");
        Draw(text, width, height);
        return barcode_get_svg(get());
    }

private:
    void Draw(const std::string& text, int width, int height)
    {
        if (!barcode_draw_1d(get(), text.c_str(), width, height)) {
            // The library has printed its reason on standard error.
            throw std::runtime_error("cannot draw \"" + text + "\"");
        }
    }

    std::unique_ptr<void, decltype(&barcode_destroy)> m_handle;
};

struct Row
{
    const char* name;
    int type;
    const char* text;
    int width, height;
};

const Row kRows[] = {
    {"jan13", 8, "490123456789", 300, 120},    // check digit added: 4901234567894
    {"upca", 9, "03600029145", 300, 120},      // check digit added: 036000291452
    {"itf14", 11, "14901234567891", 420, 100}, // case code
    {"gs1-128", 3, "{FNC1}0104912345678904{AI}15261231{AI}10LOT-42A", 600, 130},
    {"pallet-qr", 16, "SSCC 049123450000000014", 200, 200},
};

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : ".";
    int failures = 0;
    for (const Row& row : kRows) {
        try {
            Symbol symbol(row.type);
            if (row.type == 8) {
                barcode_set_extended_guard(symbol.get(), 1);
            }
            const std::vector<unsigned char> png = symbol.Png(row.text, row.width, row.height);
            const std::string path = dir + "/" + row.name + ".png";
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
            std::cout << "wrote " << path << " (" << png.size() << " bytes)\n";
        } catch (const std::exception& e) {
            std::cerr << row.name << ": " << e.what() << '\n';
            ++failures;
        }
    }
    try {
        Symbol jan(8);
        barcode_set_foreground_color(jan.get(), 0, 0, 96, 255);
        std::ofstream(dir + "/jan13.svg") << jan.Svg("4901234567894", 300, 120);
        std::cout << "wrote " << dir << "/jan13.svg\n";
        jan.Svg("49012345", 300, 120); // a JAN-13 of 8 digits: throws
        ++failures;
    } catch (const std::exception& e) {
        std::cout << "rejected as it should: " << e.what() << '\n';
    }
    return failures == 0 ? 0 : 1;
}
