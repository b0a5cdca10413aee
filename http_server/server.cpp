// The daemon's callbacks and its start and stop (see server.h).
//
// A request goes through the access handler several times: once when its headers are in
// (the request is taken down), once per piece of body, and once when it is whole. Then the
// connection is suspended and the route's handler runs on the work queue, which queues the
// answer on the suspended connection and resumes it. Suspended connections hold no thread and
// do not time out; the daemon must not stop while one is suspended, so stopping closes the
// queue and lets it run dry first.
#include "http_server/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <mutex>

#include "http_server/work_queue.h"

namespace http {

struct server::state {
    config cfg;
    std::string certificate, key;  // PEM texts, kept while the daemon runs
    MHD_Daemon* daemon = nullptr;
    int listen_fd = -1;
    std::uint16_t port = 0;
    std::unique_ptr<work_queue> handlers;
    std::mutex log_mutex;
    std::string last_log;  // the daemon's last complaint, for a failed start
};

namespace {

// A certificate, chain and key together stay far below this.
constexpr std::size_t max_pem = 1024 * 1024;

// The text of the PEM file at `path`, read only when it is a regular file within max_pem; nullopt
// with `why` set otherwise.
std::optional<std::string> read_pem(const std::string& path, const char* what, std::string& why) {
    const auto fail = [&](const std::string& reason) {
        why = std::string(what) + " " + path + ": " + reason;
        return std::nullopt;
    };
    // Non-blocking, so that a FIFO given by mistake cannot hold the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fail(std::strerror(errno));
    struct closer {
        int fd;
        ~closer() { ::close(fd); }
    } const owned{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail("not a regular file");
    if (static_cast<std::size_t>(st.st_size) > max_pem) return fail("larger than 1 MiB");
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? std::strerror(errno) : "shorter than its size");
        got += static_cast<std::size_t>(n);
    }
    if (text.find("-----BEGIN ") == std::string::npos) return fail("not in PEM form");
    return text;
}

// A bound, listening TCP socket on address:port, or -1 with `why` set.
int listening_socket(const std::string& address, std::uint16_t port, std::uint16_t& bound, std::string& why) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
        why = "not a dotted IPv4 address";
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 128) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    bound = ntohs(a.sin_port);
    return fd;
}

// One request, from its headers to its answer; deleted when the daemon is done with it.
struct pending {
    request req;
    bool dispatched = false;  // its handler has been given it
};

MHD_Result take_header(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto& headers = *static_cast<std::map<std::string, std::string>*>(cls);
    std::string name = key;
    std::ranges::transform(name, name.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    std::string& v = headers[name];
    if (!v.empty()) v += ", ";
    v += value != nullptr ? value : "";
    return MHD_YES;
}

MHD_Result take_argument(void* cls, MHD_ValueKind, const char* key, const char* value) {
    static_cast<std::vector<std::pair<std::string, std::string>>*>(cls)->emplace_back(key, value != nullptr ? value : "");
    return MHD_YES;
}

// Queues `r`, with the common headers, on the connection (from the access handler, or on a
// suspended connection).
MHD_Result queue(MHD_Connection* c, const config& cfg, const response& r) {
    MHD_Response* m =
        MHD_create_response_from_buffer(r.body.size(), const_cast<char*>(r.body.data()), MHD_RESPMEM_MUST_COPY);
    if (m == nullptr) return MHD_NO;
    for (const auto& [name, value] : r.headers) MHD_add_response_header(m, name.c_str(), value.c_str());
    for (const auto& [name, value] : cfg.common_headers) {
        const bool own = std::ranges::any_of(r.headers, [&](const auto& h) { return strcasecmp(h.first.c_str(), name.c_str()) == 0; });
        if (!own) MHD_add_response_header(m, name.c_str(), value.c_str());
    }
    const MHD_Result ok = MHD_queue_response(c, r.status, m);
    MHD_destroy_response(m);
    return ok;
}

response plain(unsigned status, std::string text) {
    return {status, {{"Content-Type", "text/plain; charset=utf-8"}}, std::move(text) + "\n"};
}

std::string peer_of(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info == nullptr || info->client_addr == nullptr || info->client_addr->sa_family != AF_INET) return "";
    char text[INET_ADDRSTRLEN] = "";
    const auto* a = reinterpret_cast<const sockaddr_in*>(info->client_addr);
    return inet_ntop(AF_INET, &a->sin_addr, text, sizeof text) != nullptr ? text : "";
}

const route* find_route(const config& c, const request& r, std::string& allowed) {
    const std::string method = r.method == "HEAD" ? std::string("GET") : r.method;
    for (const route& candidate : c.routes) {
        if (candidate.path != r.path) continue;
        if (candidate.method == method) return &candidate;
        allowed += allowed.empty() ? candidate.method : ", " + candidate.method;
    }
    return nullptr;
}

response run(const route& r, const request& req) {
    try {
        return r.run(req);
    } catch (const std::exception& e) {
        return plain(500, std::string("internal error: ") + e.what());
    }
}

MHD_Result on_request(void* cls, MHD_Connection* c, const char* url, const char* method, const char*,
                      const char* upload, std::size_t* upload_size, void** con_cls) {
    auto& s = *static_cast<server::state*>(cls);
    auto* p = static_cast<pending*>(*con_cls);
    if (p == nullptr) {
        // Headers in: take the request down; refuse a declared body above the limit at once.
        p = new pending;
        *con_cls = p;
        p->req.method = method;
        p->req.path = url;
        MHD_get_connection_values(c, MHD_HEADER_KIND, take_header, &p->req.headers);
        MHD_get_connection_values(c, MHD_GET_ARGUMENT_KIND, take_argument, &p->req.query);
        p->req.peer = peer_of(c);
        if (const auto it = p->req.headers.find("content-length"); it != p->req.headers.end()) {
            errno = 0;
            char* end = nullptr;
            const unsigned long long n = std::strtoull(it->second.c_str(), &end, 10);
            if (errno != 0 || *end != '\0' || n > s.cfg.limit.max_body)
                return queue(c, s.cfg, plain(413, "request body too large"));
        }
        return MHD_YES;
    }
    if (*upload_size > 0) {
        // A body sent in chunks past the limit: nothing to answer it with but a closed connection.
        if (p->req.body.size() + *upload_size > s.cfg.limit.max_body) return MHD_NO;
        p->req.body.append(upload, *upload_size);
        *upload_size = 0;
        return MHD_YES;
    }
    if (p->dispatched) return MHD_NO;  // resumed without an answer: its queueing failed
    std::string allowed;
    const route* r = find_route(s.cfg, p->req, allowed);
    if (r == nullptr) {
        if (allowed.empty()) return queue(c, s.cfg, plain(404, "not found"));
        response refused = plain(405, "method not allowed");
        refused.headers.emplace_back("Allow", allowed);
        return queue(c, s.cfg, refused);
    }
    p->dispatched = true;
    p->req.received = std::chrono::steady_clock::now();
    MHD_suspend_connection(c);
    const config& cfg = s.cfg;
    const bool taken = s.handlers->push([r, c, p, &cfg] {
        queue(c, cfg, run(*r, p->req));
        MHD_resume_connection(c);
    });
    if (!taken) {
        queue(c, s.cfg, plain(503, "shutting down"));
        MHD_resume_connection(c);
    }
    return MHD_YES;
}

void on_completed(void*, MHD_Connection*, void** con_cls, MHD_RequestTerminationCode) {
    delete static_cast<pending*>(*con_cls);
    *con_cls = nullptr;
}

// The daemon's complaints (a TLS key it refuses, a client it drops) are kept, not printed: a
// hostile client must not be able to fill a log. The last one explains a failed start.
void on_log(void* cls, const char* format, va_list ap) {
    auto& s = *static_cast<server::state*>(cls);
    char text[512];
    std::vsnprintf(text, sizeof text, format, ap);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::lock_guard<std::mutex> lock(s.log_mutex);
    s.last_log = std::move(line);
}

}  // namespace

server::server(std::unique_ptr<state> s) : state_(std::move(s)) {}

std::unique_ptr<server> server::start(config c, start_error& error) {
    auto s = std::make_unique<state>();
    s->cfg = std::move(c);
    const limits& l = s->cfg.limit;
    std::string why;
    if (s->cfg.tls) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
            error = {start_error::tls, "this libmicrohttpd is built without TLS"};
            return nullptr;
        }
        auto certificate = read_pem(s->cfg.tls->certificate, "certificate", why);
        auto key = certificate ? read_pem(s->cfg.tls->key, "key", why) : std::nullopt;
        if (!key) {
            error = {start_error::tls, why};
            return nullptr;
        }
        s->certificate = std::move(*certificate);
        s->key = std::move(*key);
    }
    s->listen_fd = listening_socket(s->cfg.address, s->cfg.port, s->port, why);
    if (s->listen_fd < 0) {
        error = {start_error::listen, why};
        return nullptr;
    }
    s->handlers = std::make_unique<work_queue>(std::max(1u, l.handler_threads));

    std::vector<MHD_OptionItem> options{
        {MHD_OPTION_LISTEN_SOCKET, s->listen_fd, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(l.connections), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(l.per_address), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(l.idle_timeout.count()), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(l.header_memory), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&on_completed), nullptr},
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&on_log), s.get()},
    };
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (s->cfg.tls) {
        flags |= MHD_USE_TLS;
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, s->certificate.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, s->key.data()});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    s->daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &on_request, s.get(), MHD_OPTION_ARRAY, options.data(),
                                 MHD_OPTION_END);
    if (s->daemon == nullptr) {
        // The daemon may or may not have closed the socket it was given.
        if (::fcntl(s->listen_fd, F_GETFD) != -1) ::close(s->listen_fd);
        const std::lock_guard<std::mutex> lock(s->log_mutex);
        // The socket is bound already: what the daemon refuses is nearly always the TLS material.
        const std::string said = s->last_log.empty() ? "the HTTP server did not start" : s->last_log;
        error = s->cfg.tls ? start_error{start_error::tls, "certificate or key refused: " + said}
                           : start_error{start_error::listen, said};
        return nullptr;
    }
    return std::unique_ptr<server>(new server(std::move(s)));
}

server::~server() {
    // No new connections; every handler ends and resumes its connection; then the daemon stops.
    const int fd = MHD_quiesce_daemon(state_->daemon);
    state_->handlers->close_and_wait();
    MHD_stop_daemon(state_->daemon);
    if (fd >= 0) ::close(fd);
}

std::uint16_t server::port() const { return state_->port; }

}  // namespace http
