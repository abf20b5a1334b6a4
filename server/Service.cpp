// SPDX-License-Identifier: MIT
#include "Service.h"

#include "Catalog.h"
#include "Command.h"
#include "Drawing.h"
#include "Metrics.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <malloc.h>
#include <iostream>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace lumeo::serve {

extern const char kPlayground[]; // Playground.html, compiled in

namespace {

using Clock = std::chrono::steady_clock;

// Limits of one request. The request line's own limit (8192 bytes, answered 414) is the HTTP
// library's.
constexpr size_t kMaxBody = 1 << 20;         // 413 above
constexpr size_t kMaxBatchItems = 1000;      // 413 above
constexpr size_t kMaxHeaderBytes = 16 << 10; // 431 above: every field name and value together
// What one request may send in all before its connection is cut, whatever it sends: the request
// line, headers up to a size that is still answered, and the body.
constexpr size_t kMaxRequestBytes = (8 << 10) + (64 << 10) + kMaxBody + (4 << 10);
constexpr int kWaitSeconds = 5;      // one wait for the client to send or take bytes
constexpr int kKeepAliveSeconds = 5; // an idle connection is closed after this
constexpr int kKeepAliveRequests = 1000;
constexpr int kResponseSeconds = 30; // to send one response
constexpr int kBatchSeconds = 30;    // a batch draws no item after this
// Connections served at once (each waits on its client on a thread of its own), and accepted
// connections that wait for one of those threads; beyond that a connection is answered 503.
constexpr size_t kConnectionThreads = 128;
constexpr size_t kPendingConnections = 256;

const char* const kImmutable = "public, max-age=31536000, immutable";

thread_local bool t_reject = false;     // the connection pool is full: answer 503 and close
thread_local bool t_closeAfter = false; // the request's body was not read: close the connection
thread_local Clock::time_point t_start; // the first byte of the request being served
thread_local bool t_cut = false;        // the request being served was cut: too slow or too large

std::string ErrnoText(int error)
{
    return std::strerror(error);
}

// Poll milliseconds until `deadline`, at most one wait.
int WaitMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kWaitSeconds * 1000LL));
}

bool PollFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, ms);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n > 0;
    }
}

// The connection seen by the HTTP library: reads through a buffer and stops a request that
// takes longer than its time, or sends more than any request may; writes stop when the client
// takes no bytes for a while or the response takes too long.
class ConnectionStream final : public httplib::Stream
{
public:
    explicit ConnectionStream(int fd) : m_fd(fd) {}

    void Begin(Clock::time_point readDeadline)
    {
        m_readDeadline = readDeadline;
        m_writeDeadline = Clock::time_point::max();
        m_bytes = m_end - m_begin;
        m_cut = false;
        t_cut = false;
    }

    bool Buffered() const { return m_begin < m_end; }
    bool Cut() const { return m_cut; }

    void MarkCut()
    {
        m_cut = true;
        t_cut = true;
    }

    bool is_readable() const override { return Buffered() || PollFor(m_fd, POLLIN, WaitMs(m_readDeadline)); }

    bool is_writable() const override { return PollFor(m_fd, POLLOUT, kWaitSeconds * 1000); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (!Buffered() && !Fill()) {
            return m_cut ? -1 : 0;
        }
        const size_t n = std::min(size, m_end - m_begin);
        std::memcpy(ptr, m_buffer + m_begin, n);
        m_begin += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::send(m_fd, ptr + done, size - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (m_writeDeadline == Clock::time_point::max()) {
                    m_writeDeadline = Clock::now() + std::chrono::seconds(kResponseSeconds);
                }
                if (PollFor(m_fd, POLLOUT, WaitMs(m_writeDeadline))) {
                    continue;
                }
                MarkCut();
            }
            return -1;
        }
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { Address(false, ip, port); }
    socket_t socket() const override { return m_fd; }

private:
    bool Fill()
    {
        if (m_bytes >= kMaxRequestBytes) {
            MarkCut();
            return false;
        }
        for (;;) {
            const int ms = WaitMs(m_readDeadline);
            if (ms <= 0 || !PollFor(m_fd, POLLIN, ms)) {
                MarkCut(); // too slow: the time of the request or of one wait is over
                return false;
            }
            const ssize_t n = ::recv(m_fd, m_buffer, sizeof m_buffer, 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            m_begin = 0;
            m_end = static_cast<size_t>(n);
            m_bytes += m_end;
            return true;
        }
    }

    void Address(bool remote, std::string& ip, int& port) const
    {
        sockaddr_storage a{};
        socklen_t length = sizeof a;
        const int rc = remote ? ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&a), &length)
                              : ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
        char text[INET6_ADDRSTRLEN] = "";
        port = 0;
        if (rc == 0 && a.ss_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
            ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            port = ntohs(v4->sin_port);
        } else if (rc == 0 && a.ss_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            port = ntohs(v6->sin6_port);
        }
        ip = text;
    }

    int m_fd;
    char m_buffer[4096];
    size_t m_begin = 0;
    size_t m_end = 0;
    size_t m_bytes = 0; // read for the current request
    bool m_cut = false;
    Clock::time_point m_readDeadline = Clock::time_point::max();
    Clock::time_point m_writeDeadline = Clock::time_point::max();
};

// Connections are served on up to kConnectionThreads threads, started as they are needed; a
// connection that finds all of them busy and kPendingConnections waiting is answered 503 on the
// accepting thread.
class ConnectionPool final : public httplib::TaskQueue
{
public:
    void enqueue(std::function<void()> fn) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_stopping || m_jobs.size() >= kPendingConnections) {
            lock.unlock();
            t_reject = true;
            fn();
            t_reject = false;
            return;
        }
        m_jobs.push_back(std::move(fn));
        if (m_jobs.size() > m_idle && m_threads.size() < kConnectionThreads) {
            m_threads.emplace_back([this] { Work(); });
        } else {
            m_ready.notify_one();
        }
    }

    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_ready.notify_all();
        for (std::thread& t : m_threads) {
            t.join();
        }
    }

private:
    void Work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_ready.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            --m_idle;
            if (m_jobs.empty()) {
                return; // stopping, and every connection taken is served
            }
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    size_t m_idle = 0;
    bool m_stopping = false;
};

// At most `slots` symbols are drawn at once; up to `depth` requests wait for a slot, and the
// ones after them are refused.
class DrawGate
{
public:
    DrawGate(int slots, int depth) : m_slots(slots), m_depth(depth) {}

    bool Enter()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_active >= m_slots) {
            if (m_waiting >= m_depth) {
                return false;
            }
            ++m_waiting;
            m_free.wait(lock, [this] { return m_active < m_slots; });
            --m_waiting;
        }
        ++m_active;
        return true;
    }

    void Leave()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_active;
        }
        m_free.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_free;
    int m_slots;
    int m_depth;
    int m_active = 0;
    int m_waiting = 0;
};

class Slot
{
public:
    explicit Slot(DrawGate& gate) : m_gate(gate), m_entered(gate.Enter()) {}
    ~Slot()
    {
        if (m_entered) {
            m_gate.Leave();
        }
    }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    explicit operator bool() const { return m_entered; }

private:
    DrawGate& m_gate;
    bool m_entered;
};

bool EndsWith(const std::string& s, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Bytes a client sent, fit for one line of a log: printable ASCII stays, the rest is %XX.
std::string Printable(const std::string& s, size_t limit = 2048)
{
    std::string out;
    for (const char c : s.substr(0, limit)) {
        const auto u = static_cast<unsigned char>(c);
        if (u > 0x20 && u < 0x7F && u != '%') {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            out += hex;
        }
    }
    return s.size() > limit ? out + "..." : out;
}

// A header value made of the library's warnings: no line breaks, no control characters.
std::string HeaderValue(const std::string& s)
{
    std::string out;
    for (const char c : s.substr(0, 500)) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F || u >= 0x80 ? ' ' : c;
    }
    return out;
}

bool IfNoneMatch(const httplib::Request& req, const std::string& etag)
{
    if (!req.has_header("If-None-Match")) {
        return false;
    }
    const std::string list = req.get_header_value("If-None-Match");
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        end = end == std::string::npos ? list.size() : end;
        std::string tag = list.substr(start, end - start);
        tag.erase(0, tag.find_first_not_of(" \t"));
        tag.erase(tag.find_last_not_of(" \t") + 1);
        if (tag.compare(0, 2, "W/") == 0) {
            tag.erase(0, 2); // If-None-Match compares weakly
        }
        if (tag == "*" || tag == etag) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

void Refuse(httplib::Response& res, const Refusal& r)
{
    res.status = r.status;
    if (r.status == 503) {
        res.set_header("Retry-After", "1");
    }
    res.set_content(ErrorJson(r), "application/json");
}

// What the HTTP library answers by itself, in the service's words.
std::string LibraryStatusReason(int status)
{
    switch (status) {
    case 400: return "the request cannot be read: a malformed request line, header or body";
    case 404: return "no such path (GET /v1/{type}.png, /v1/{type}.svg, /v1/{type}?format=..., POST /v1/batch)";
    case 413: return "the body is over the limit of " + std::to_string(kMaxBody) + " bytes";
    case 414: return "the URL is over the limit of 8192 bytes";
    case 416: return "the range asked for is not in the response";
    default: return "the request is refused (HTTP " + std::to_string(status) + ")";
    }
}

class Service final : public httplib::Server
{
public:
    explicit Service(const Config& config)
        : m_config(config), m_gate(config.threads, config.queue), m_logFd(-1)
    {
        new_task_queue = [] { return new ConnectionPool; };
        set_payload_max_length(kMaxBody);
        set_read_timeout(kWaitSeconds);
        set_write_timeout(kWaitSeconds);
        set_keep_alive_timeout(kKeepAliveSeconds);
        set_keep_alive_max_count(kKeepAliveRequests);
        httplib::Headers headers{{"X-Content-Type-Options", "nosniff"}};
        if (!config.cors.empty()) {
            headers.emplace("Access-Control-Allow-Origin", config.cors);
            headers.emplace("Access-Control-Expose-Headers", "ETag, Lumeo-Warnings, Retry-After");
        }
        set_default_headers(headers);
        set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) { return Route(req, res); });
        Post("/v1/batch", [this](const httplib::Request& req, httplib::Response& res) { BatchRoute(req, res); });
        set_error_handler(HandlerWithResponse([this](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) {
                return HandlerResponse::Unhandled; // a refusal of the service's own
            }
            // A request the library could not read leaves the connection at an unknown place.
            t_closeAfter = true;
            res.set_header("Connection", "close");
            if (t_cut && res.status == 400) {
                res.status = 408;
                res.set_content(ErrorJson(Refusal{408, "the request did not arrive within " +
                                                           std::to_string(m_config.readTimeout) + " s, or was " +
                                                           "larger than any request may be", ""}),
                                "application/json");
                return HandlerResponse::Handled;
            }
            res.set_content(ErrorJson(Refusal{res.status, LibraryStatusReason(res.status), ""}), "application/json");
            return HandlerResponse::Handled;
        }));
        set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
            std::string what = "unknown";
            try {
                std::rethrow_exception(ep);
            } catch (const std::bad_alloc&) {
                Refuse(res, Refusal{503, "memory ran out; try again", ""});
                return;
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            Refuse(res, Refusal{500, "internal error: " + what, ""});
        });
        set_logger([this](const httplib::Request& req, const httplib::Response& res) { Log(req, res); });
    }

    ~Service() override
    {
        if (m_logFd > 2) {
            ::close(m_logFd);
        }
    }

    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    void SetLog(int fd) { m_logFd = fd; }

    // The HTTP library listens with a backlog of 5: a burst of new connections would wait a
    // second for the retransmission of their SYN. Listening again widens the queue.
    void WidenBacklog() { ::listen(svr_sock_, SOMAXCONN); }

    void Stop()
    {
        m_stopping = true;
        stop();
    }

    bool Stopping() const { return m_stopping; }

private:
    bool process_and_close_socket(socket_t sock) override
    {
        if (t_reject) {
            Busy(sock);
            return false;
        }
        ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
        const int one = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ConnectionStream stream(sock);
        bool ok = true;
        for (int count = 1;; ++count) {
            if (!stream.Buffered() && !AwaitRequest(sock)) {
                break;
            }
            t_start = Clock::now();
            t_closeAfter = false;
            stream.Begin(t_start + std::chrono::seconds(m_config.readTimeout));
            const bool last = m_stopping || count >= kKeepAliveRequests;
            bool closed = false;
            ++m_metrics.InFlight();
            ok = process_request(stream, last, closed, [](httplib::Request&) {});
            --m_metrics.InFlight();
            if (stream.Cut()) {
                m_metrics.AddCut();
            }
            if (!ok || closed || last || t_closeAfter) {
                break;
            }
        }
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ok;
    }

    // Waits for the next request of a kept-alive connection; false when it stays idle or the
    // service stops.
    bool AwaitRequest(int sock) const
    {
        const auto until = Clock::now() + std::chrono::seconds(kKeepAliveSeconds);
        do {
            if (PollFor(sock, POLLIN, m_stopping ? 0 : 100)) {
                return true;
            }
        } while (!m_stopping && Clock::now() < until);
        return false;
    }

    void Busy(int sock)
    {
        const std::string body = ErrorJson(Refusal{503, "the service is busy: every connection is taken; try again", ""});
        const std::string response = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                                     "Retry-After: 1\r\nConnection: close\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body;
        (void)::send(sock, response.data(), response.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        m_metrics.Record("other", 503, 0, body.size());
    }

    HandlerResponse Route(const httplib::Request& req, httplib::Response& res)
    {
        const std::string& path = req.path;
        const std::string& method = req.method;
        const bool body = req.has_header("Content-Length") ? req.get_header_value("Content-Length") != "0"
                                                             : req.has_header("Transfer-Encoding");
        size_t headerBytes = 0;
        for (const auto& [name, value] : req.headers) {
            headerBytes += name.size() + value.size() + 4;
        }
        if (headerBytes > kMaxHeaderBytes) {
            t_closeAfter = true;
            Refuse(res, Refusal{431, "the header fields come to " + std::to_string(headerBytes) +
                                         " bytes, over the limit of " + std::to_string(kMaxHeaderBytes), ""});
            return HandlerResponse::Handled;
        }
        if (method == "POST" && path == "/v1/batch") {
            return HandlerResponse::Unhandled; // the library reads the body within its limit
        }
        if (body) {
            t_closeAfter = true; // no other route reads a body: the connection cannot go on
        }
        const bool image = path.compare(0, 4, "/v1/") == 0 && path.size() > 4 && path.find('/', 4) == std::string::npos;
        const bool known = path == "/" || path == "/healthz" || path == "/metrics" || image;
        if (!known) {
            Refuse(res, Refusal{404, LibraryStatusReason(404), ""});
            return HandlerResponse::Handled;
        }
        const char* allow = path == "/v1/batch" ? "POST, OPTIONS" : "GET, HEAD, OPTIONS";
        if (method == "OPTIONS") {
            res.status = 204;
            res.set_header("Allow", allow);
            if (!m_config.cors.empty()) {
                res.set_header("Access-Control-Allow-Methods", allow);
                res.set_header("Access-Control-Allow-Headers", "Content-Type, If-None-Match");
                res.set_header("Access-Control-Max-Age", "86400");
            }
            return HandlerResponse::Handled;
        }
        if (path == "/v1/batch" || (method != "GET" && method != "HEAD")) {
            res.set_header("Allow", allow);
            Refuse(res, Refusal{405, method.substr(0, 16) + " is not allowed here (" + allow + ")", ""});
            return HandlerResponse::Handled;
        }
        res.status = 200;
        if (path == "/") {
            res.set_header("Content-Security-Policy",
                           "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                           "img-src data: 'self'; connect-src 'self'");
            res.set_content(kPlayground, "text/html; charset=utf-8");
        } else if (path == "/healthz") {
            res.set_content("{\"status\":\"ok\"}", "application/json");
        } else if (path == "/metrics") {
            res.set_content(m_metrics.Text(), "text/plain; version=0.0.4");
        } else if (path == "/v1/types") {
            res.set_content(TypesJson(), "application/json");
        } else {
            Image(req, res);
        }
        return HandlerResponse::Handled;
    }

    void Image(const httplib::Request& req, httplib::Response& res)
    {
        std::string type = req.path.substr(4);
        Output output = Output::Png8;
        bool fixed = false;
        if (EndsWith(type, ".png") || EndsWith(type, ".svg")) {
            output = EndsWith(type, ".svg") ? Output::Svg : Output::Png8;
            fixed = true;
            type.resize(type.size() - 4);
        }
        const Params params(req.params.begin(), req.params.end()); // by name; a name's values in order
        Prepared prepared;
        Refusal refusal;
        if (!Prepare(type, params, output, fixed, &prepared, &refusal)) {
            Refuse(res, refusal);
            return;
        }
        res.set_header("ETag", prepared.etag);
        res.set_header("Cache-Control", kImmutable);
        if (IfNoneMatch(req, prepared.etag)) {
            res.status = 304;
            return;
        }
        const Slot slot(m_gate);
        if (!slot) {
            res.headers.erase("ETag");
            res.headers.erase("Cache-Control");
            Refuse(res, Refusal{503, "every drawing thread is busy and the queue is full; try again", ""});
            return;
        }
        std::string body;
        std::string warnings;
        m_metrics.AddDraws(1);
        if (!Draw(prepared, &body, &warnings, &refusal)) {
            res.headers.erase("ETag");
            res.headers.erase("Cache-Control");
            Refuse(res, refusal);
            return;
        }
        if (!warnings.empty()) {
            res.set_header("Lumeo-Warnings", HeaderValue(warnings));
        }
        if (prepared.output == Output::Svg) {
            // Opened on its own, the document may run nothing and fetch nothing.
            res.set_header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
        }
        res.set_content(std::move(body), ContentType(prepared.output));
    }

    void BatchRoute(const httplib::Request& req, httplib::Response& res)
    {
        if (req.body.size() > kMaxBody) { // a chunked body is only counted once read
            t_closeAfter = true;
            Refuse(res, Refusal{413, LibraryStatusReason(413), "body"});
            return;
        }
        const Slot slot(m_gate);
        if (!slot) {
            Refuse(res, Refusal{503, "every drawing thread is busy and the queue is full; try again", ""});
            return;
        }
        const Clock::time_point deadline = t_start + std::chrono::seconds(kBatchSeconds);
        std::string out;
        Refusal refusal;
        const bool ok = Batch(req.body, kMaxBatchItems,
                              [&]() -> std::string {
                                  if (Clock::now() > deadline) {
                                      return "the batch ran past its time limit of " + std::to_string(kBatchSeconds) +
                                             " s; send the rest in another request";
                                  }
                                  m_metrics.AddDraws(1);
                                  return "";
                              },
                              &out, &refusal);
        if (!ok) {
            Refuse(res, refusal);
            return;
        }
        res.status = 200;
        res.set_content(std::move(out), "application/json");
    }

    // The metrics label of a request: a type's own name, or its route.
    static std::string Label(const std::string& path)
    {
        if (path == "/") {
            return "page";
        }
        if (path == "/healthz" || path == "/metrics") {
            return path.substr(1);
        }
        if (path.compare(0, 4, "/v1/") != 0 || path.find('/', 4) != std::string::npos) {
            return "other";
        }
        std::string name = path.substr(4);
        if (name == "batch" || name == "types") {
            return name;
        }
        if (EndsWith(name, ".png") || EndsWith(name, ".svg")) {
            name.resize(name.size() - 4);
        }
        const int type = name.find('\0') == std::string::npos ? TypeNumber(name) : -1;
        return type >= 0 ? TheCatalog().types.at(static_cast<size_t>(type)).name : "unknown";
    }

    void Log(const httplib::Request& req, const httplib::Response& res)
    {
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t_start).count();
        const size_t bytes = req.method == "HEAD" ? 0 : res.body.size();
        m_metrics.Record(Label(req.path), res.status, static_cast<double>(micros) / 1e6, bytes);
        if (m_logFd < 0) {
            return;
        }
        char when[32];
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        ::gmtime_r(&now, &utc);
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
        std::string line = std::string(when) + ' ' + Printable(req.method, 16) + ' ' + Printable(req.path) + ' ' +
                           std::to_string(res.status) + ' ' + std::to_string(bytes) + ' ' + std::to_string(micros);
        if (m_config.logText && req.has_param("text")) {
            line += " text=" + Printable(req.get_param_value("text"));
        }
        line += '\n';
        (void)!::write(m_logFd, line.data(), line.size());
    }

    Config m_config;
    Metrics m_metrics;
    DrawGate m_gate;
    int m_logFd;
    std::atomic<bool> m_stopping{false};
};

int Whole(const std::string& option, const std::string& value, int low, int high)
{
    long long n = low - 1LL;
    try {
        n = ToLong(value);
    } catch (const std::exception&) {
    }
    if (n < low || n > high) {
        throw UsageError("bad value for " + option + ": " + value + " (a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + ")");
    }
    return static_cast<int>(n);
}

} // namespace

Config ParseConfig(const std::vector<std::string>& args)
{
    Config c;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--log-text") {
            c.logText = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            throw UsageError(a.compare(0, 2, "--") == 0 ? "option " + a + " needs a value" : "serve takes no " + a);
        }
        const std::string& v = args[++i];
        if (a == "--listen") {
            const size_t colon = v.rfind(':');
            std::string host = colon == std::string::npos ? std::string() : v.substr(0, colon);
            if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
                host = host.substr(1, host.size() - 2);
            }
            if (host.empty() || host.find_first_of("[] \t") != std::string::npos) {
                throw UsageError("bad value for --listen: " + v + " (ADDRESS:PORT, such as 127.0.0.1:8080 or [::1]:0)");
            }
            c.host = host;
            c.port = Whole(a, v.substr(colon + 1), 0, 65535);
        } else if (a == "--threads") {
            c.threads = Whole(a, v, 1, 256);
        } else if (a == "--queue") {
            c.queue = Whole(a, v, 0, 100000);
        } else if (a == "--read-timeout") {
            c.readTimeout = Whole(a, v, 1, 3600);
        } else if (a == "--cors") {
            if (v.empty() || v.find_first_of("\r\n") != std::string::npos) {
                throw UsageError("bad value for --cors: an origin such as https://shop.example or *");
            }
            c.cors = v;
        } else if (a == "--access-log") {
            if (v.empty()) {
                throw UsageError("bad value for --access-log: a file, or - for standard output");
            }
            c.accessLog = v;
        } else {
            throw UsageError("unknown option " + a + " for serve");
        }
    }
    if (c.threads == 0) {
        c.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    return c;
}

int Serve(const Config& config)
{
    // SIGTERM and SIGINT are taken by one thread, which stops the service; every thread started
    // from here on inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // The canvases of everyday symbols are reused from the heap; a canvas of more than a few
    // megabytes (a box at the canvas limits) is mapped for its draw and given back after it,
    // instead of staying in the heap of whichever thread drew it (glibc raises its threshold
    // otherwise, up to 32 MB). Mapping every canvas would cost more than the draw.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
    mallopt(M_ARENA_MAX, 4);
    TheCatalog(); // read before the first request
    Service service(config);
    if (!config.accessLog.empty()) {
        const int fd = config.accessLog == "-" ? ::dup(1)
                                               : ::open(config.accessLog.c_str(),
                                                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::cerr << "lumeo: cannot open the access log " << config.accessLog << ": " << ErrnoText(errno) << '\n';
            return 1;
        }
        service.SetLog(fd);
    }
    int port = config.port;
    if (port == 0) {
        port = service.bind_to_any_port(config.host);
    } else if (!service.bind_to_port(config.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::cerr << "lumeo: cannot listen on " << config.host << ':' << config.port << ": " << ErrnoText(errno)
                  << '\n';
        return 1;
    }
    service.WidenBacklog();
    const bool v6 = config.host.find(':') != std::string::npos;
    std::cout << "lumeo serve: listening on http://" << (v6 ? "[" : "") << config.host << (v6 ? "]" : "") << ':'
              << port << "/ (" << config.threads << " drawing threads)" << std::endl;

    std::thread waiter([&service, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        service.Stop();
    });
    const bool listened = service.listen_after_bind();
    if (!service.Stopping()) {
        pthread_kill(waiter.native_handle(), SIGTERM); // wake the waiter, which then has nothing to stop
    }
    waiter.join();
    if (!listened && !service.Stopping()) {
        std::cerr << "lumeo: the service stopped: " << ErrnoText(errno) << '\n';
        return 1;
    }
    return 0;
}

void ServeUsage(std::ostream& out)
{
    out << "\nserve: lumeo serve [--listen ADDR:PORT] [--threads N] [--cors ORIGIN] [--access-log FILE|-]\n"
           "  --listen ADDR:PORT      where to listen (default 127.0.0.1:8080; port 0 takes a free one and\n"
           "                          prints it)\n"
           "  --threads N             symbols drawn at once (default: one per core)\n"
           "  --queue N               requests that may wait for a drawing thread (default 64; more get 503)\n"
           "  --read-timeout SEC      time for a whole request to arrive (default 10)\n"
           "  --cors ORIGIN           allow pages from ORIGIN (or *) to call the service\n"
           "  --access-log FILE|-     one line per request: method, path, status, bytes, microseconds\n"
           "  --log-text              the access log also shows the barcode text\n"
           "  GET /v1/TYPE.png?text=...&OPTION=VALUE (options as above, without --), /v1/TYPE.svg,\n"
           "  /v1/TYPE?format=png|png8|svg|datauri, POST /v1/batch (JSON array), /healthz, /metrics, / (playground)\n";
}

} // namespace lumeo::serve
