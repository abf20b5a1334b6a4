// SPDX-License-Identifier: MIT
// The lumeo tool's command line: the types and options it knows, the parsing of
// TYPE TEXT [options], and the drawing of one request with its quiet zone.
#pragma once

#include "Batch.h"
#include "QuietZone.h"

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumeo {

// A command line that cannot be used, with the reason: exit status 2.
struct UsageError : std::invalid_argument
{
    using std::invalid_argument::invalid_argument;
};

// A symbol that cannot be drawn or written, with the reason: exit status 1.
struct DrawError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct Request
{
    int type = -1;
    std::string text;
    std::string output;
    std::string format; // png, png8 or svg
    int width = 0;      // the box; 0: not given (the type's default, or from the symbol)
    int height = 0;
    int margin = -1; // pixels on every side; -1: the symbology's quiet zone
    std::string draw = "1d";
    Color fg{0, 0, 0, 255};
    Color bg{255, 255, 255, 255};
    int pxAdjustBlack = 0;
    int pxAdjustWhite = 0;
    bool fitWidth = false;
    int yHeight = 0; // PDF417 row height in modules; 0: the library's default
    std::vector<std::function<void(void*)>> setters;

    // Sizing by module: the box is computed from the symbol so that each module is `module`
    // pixels wide (and, for linear symbols, the bars `barHeight` pixels high when given).
    bool byModule = false;
    int module = 0;       // pixels a module (after Parse, when byModule)
    double dpi = 0;       // 0: not given
    double xDimMm = 0;    // --x-dim, in millimetres; 0: not given
    double barHeight = 0; // --bar-height in modules, or in millimetres when barHeightIsLength
    bool barHeightIsLength = false;
    int barHeightPx = 0; // after Parse: the bars' height in pixels; 0: from the box height
    int rotate = 0;      // clockwise: 0, 90, 180 or 270
    bool verbose = false;
    bool gs1Check = true; // --no-gs1-check clears it
};

// Parses TYPE TEXT and the options; throws UsageError with the reason, or DrawError for a text
// that cannot be passed to the library (a NUL byte).
Request Parse(const std::vector<std::string>& args);

// A type by name, alias or number as the command line takes it; -1 when there is none.
int TypeNumber(const std::string& name);

// Checks options given to every line of a batch (no TYPE, no TEXT, no output); throws
// UsageError for one that no type accepts or whose value no type accepts.
void CheckSharedOptions(const std::vector<std::string>& options);

// Draws the request and returns the file's bytes with the quiet zone and the library's
// warnings (and with --verbose the sizes drawn); throws DrawError with the reason: also for a
// GS1 element string that fails its check, and for a symbol that does not fit a fixed box.
Rendered Produce(const Request& r);

// Routes the library's lines through the tool: warnings and progress to standard error (or to
// the draw that is collecting them on this thread), nothing to standard output.
void RouteLibraryLines();

// The tool's and the library's versions, one a line.
std::string Versions();

// The usage text of `lumeo --help`, and the listing of `lumeo --list`.
void Usage(std::ostream& out);
void List(std::ostream& out);

} // namespace lumeo
