// SPDX-License-Identifier: MIT
#include "Metrics.h"

#include <cstdio>
#include <sstream>

namespace lumeo::serve {

void Metrics::Record(const std::string& type, int status, double seconds, uint64_t bytes)
{
    size_t bucket = 0;
    while (bucket < kBuckets.size() && seconds > kBuckets[bucket]) {
        ++bucket;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_requests[{type, status}];
    ++m_latency[bucket];
    m_latencySum += seconds;
    ++m_latencyCount;
    m_bytes += bytes;
}

std::string Metrics::Text() const
{
    std::ostringstream out;
    std::lock_guard<std::mutex> lock(m_mutex);
    out << "# HELP lumeo_requests_total Requests answered, by type (or route) and status.\n"
           "# TYPE lumeo_requests_total counter\n";
    for (const auto& [key, count] : m_requests) {
        out << "lumeo_requests_total{type=\"" << key.first << "\",status=\"" << key.second << "\"} " << count << '\n';
    }
    out << "# HELP lumeo_request_duration_seconds Time from the first byte of a request to its answer.\n"
           "# TYPE lumeo_request_duration_seconds histogram\n";
    uint64_t cumulative = 0;
    for (size_t i = 0; i <= kBuckets.size(); ++i) {
        cumulative += m_latency[i];
        char bound[32];
        if (i < kBuckets.size()) {
            std::snprintf(bound, sizeof bound, "%g", kBuckets[i]);
        } else {
            std::snprintf(bound, sizeof bound, "+Inf");
        }
        out << "lumeo_request_duration_seconds_bucket{le=\"" << bound << "\"} " << cumulative << '\n';
    }
    char sum[64];
    std::snprintf(sum, sizeof sum, "%.6f", m_latencySum);
    out << "lumeo_request_duration_seconds_sum " << sum << '\n'
        << "lumeo_request_duration_seconds_count " << m_latencyCount << '\n'
        << "# HELP lumeo_requests_in_flight Requests being read, drawn or answered.\n"
           "# TYPE lumeo_requests_in_flight gauge\n"
           "lumeo_requests_in_flight "
        << m_inFlight.load() << '\n'
        << "# HELP lumeo_response_bytes_total Bytes of response bodies sent.\n"
           "# TYPE lumeo_response_bytes_total counter\n"
           "lumeo_response_bytes_total "
        << m_bytes << '\n'
        << "# HELP lumeo_draws_total Symbols drawn (a batch counts each item).\n"
           "# TYPE lumeo_draws_total counter\n"
           "lumeo_draws_total "
        << m_draws.load() << '\n'
        << "# HELP lumeo_connections_cut_total Connections closed for a request too slow, too large or unreadable.\n"
           "# TYPE lumeo_connections_cut_total counter\n"
           "lumeo_connections_cut_total "
        << m_cut.load() << '\n';
    return out.str();
}

} // namespace lumeo::serve
