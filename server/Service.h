// SPDX-License-Identifier: MIT
// lumeo serve: barcodes over HTTP.
//
//   GET  /v1/{type}.png|.svg?text=...&<option>=<value>...   one symbol (.png: the palette PNG)
//   GET  /v1/{type}?text=...&format=png|png8|svg|datauri
//   POST /v1/batch        a JSON array of {type, text, option: value...}, answered in order
//   GET  /v1/types        the types and options, as JSON
//   GET  /healthz, /metrics (Prometheus text), / (the playground page)
//
// Type and option names are the tool's (tools/Command.h draws every request). Images carry a
// strong ETag and are cached for good; a refusal is JSON {"error": reason, "field": name|null}.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace lumeo::serve {

struct Config
{
    std::string host = "127.0.0.1";
    int port = 8080;
    int threads = 0;     // symbols drawn at once; 0: one per core
    int queue = 64;      // requests that may wait for a drawing thread; more are answered 503
    int readTimeout = 10; // seconds for the whole of a request (line, headers and body) to arrive
    std::string cors;      // Access-Control-Allow-Origin, when given
    std::string accessLog; // a file, "-" for standard output, "" for none
    bool logText = false;  // the access log shows the barcode text
};

// Reads the options after `serve`; throws lumeo::UsageError with the reason.
Config ParseConfig(const std::vector<std::string>& args);

// Serves until SIGTERM or SIGINT, then finishes the requests in flight; returns the exit status
// (0 after a signal, 1 when the address cannot be had or the access log cannot be opened).
int Serve(const Config& config);

// The lines of `lumeo --help` about serve.
void ServeUsage(std::ostream& out);

} // namespace lumeo::serve
