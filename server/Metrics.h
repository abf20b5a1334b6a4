// SPDX-License-Identifier: MIT
// What `lumeo serve` counts, in the Prometheus text format: requests by type and status, their
// latency, the requests in flight, the bytes sent and the draws made.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace lumeo::serve {

class Metrics
{
public:
    // One answered request: `type` is a type's own name, or the route ("batch", "page", ...):
    // a bounded set, whatever the client sent.
    void Record(const std::string& type, int status, double seconds, uint64_t bytes);
    void AddDraws(uint64_t n) { m_draws += n; }
    void AddCut() { ++m_cut; }
    std::atomic<int64_t>& InFlight() { return m_inFlight; }

    std::string Text() const;

    // Upper bounds of the latency buckets, in seconds.
    static constexpr std::array<double, 14> kBuckets = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                        0.1,    0.25,  0.5,    1,     2.5,   5,     10};

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, int>, uint64_t> m_requests;
    std::array<uint64_t, kBuckets.size() + 1> m_latency{}; // the last: above every bound
    double m_latencySum = 0;
    uint64_t m_latencyCount = 0;
    uint64_t m_bytes = 0;
    std::atomic<uint64_t> m_draws{0};
    std::atomic<uint64_t> m_cut{0};
    std::atomic<int64_t> m_inFlight{0};
};

} // namespace lumeo::serve
