// The system log sink (see syslog_sink.h).
#include "telvard/events/syslog_sink.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "telvard/events/trap_text.h"

namespace telvar::events {

namespace {

constexpr const char* ident = "telvard";

int severity_of(const history::event_row& e) { return e.alert == 0 ? LOG_WARNING : LOG_NOTICE; }

// One field of the header: printable, without blanks.
std::string host_name(const syslog_options& o) {
    char name[256] = "";
    if (o.hostname.empty() && (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')) return "-";
    std::string host = sanitized(o.hostname.empty() ? name : o.hostname);
    std::replace(host.begin(), host.end(), ' ', '_');
    return host;
}

sockaddr_un socket_address(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, path.c_str(), path.size());
    return a;
}

}  // namespace

std::string syslog_datagram(const syslog_options& o, const history::event_row& e, long pid) {
    const std::string pri = "<" + std::to_string(LOG_DAEMON | severity_of(e)) + ">";
    const std::string host = host_name(o);
    if (o.format == syslog_format::rfc5424)
        return pri + "1 " + rfc3339(e.at) + " " + host + " " + ident + " " + std::to_string(pid) +
               " trap - " + trap_line(e);
    const std::time_t s = static_cast<std::time_t>(e.at / 1000);
    std::tm tm{};
    localtime_r(&s, &tm);
    char stamp[32] = "";
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &tm);
    return pri + stamp + " " + host + " " + ident + "[" + std::to_string(pid) + "]: " + trap_line(e);
}

syslog_sink::syslog_sink(syslog_options o) : o_(std::move(o)) {
    if (o_.socket_path.empty()) {
        ::openlog(ident, LOG_PID | LOG_NDELAY, LOG_DAEMON);
        return;
    }
    if (o_.socket_path.size() >= sizeof(sockaddr_un{}.sun_path))
        throw std::runtime_error("syslog socket path too long: " + sanitized(o_.socket_path));
    sock_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!sock_) throw std::runtime_error(std::string("syslog socket: ") + std::strerror(errno));
}

syslog_sink::~syslog_sink() {
    if (o_.socket_path.empty()) ::closelog();
}

void syslog_sink::send(const history::event_row& e) {
    if (o_.socket_path.empty()) {
        ::syslog(LOG_DAEMON | severity_of(e), "%s", trap_line(e).c_str());
        return;
    }
    const std::string datagram = syslog_datagram(o_, e, static_cast<long>(::getpid()));
    // Addressed each time, so that a log daemon that restarted (a new socket at the same path)
    // is found again.
    const sockaddr_un to = socket_address(o_.socket_path);
    if (::sendto(sock_.get(), datagram.data(), datagram.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        ++lost_;
}

}  // namespace telvar::events
