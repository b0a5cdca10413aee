// Each trap as one line of the system log (the line of trap_text.h), with facility daemon, at
// warning for a rising alert and notice for a falling one.
//
// By default through syslog(3) (ident "telvard", with the process id). When the configuration
// names a socket, as one datagram to that unix datagram socket instead, in the format it asks
// for:
//   RFC 5424: <PRI>1 2026-12-06T07:30:00.123Z HOST telvard PID trap - LINE
//   RFC 3164: <PRI>Dec  6 07:30:00 HOST telvard[PID]: LINE        (local time)
// PRI is 8 x 3 (daemon) + 4 (warning) or 5 (notice). The socket is written without blocking:
// a log reader that does not keep up loses lines (counted), it never stalls the watcher.
#pragma once

#include <cstdint>
#include <string>

#include "history/rows.h"
#include "proto/unique_fd.h"

namespace telvar::events {

enum class syslog_format { rfc5424, rfc3164 };

struct syslog_options {
    std::string socket_path;  // empty: syslog(3)
    syslog_format format = syslog_format::rfc5424;
    std::string hostname;     // empty: this host's name
};

// The datagram for one trap, as sent to a socket; `pid` is the process id it names.
std::string syslog_datagram(const syslog_options& o, const history::event_row& e, long pid);

class syslog_sink {
public:
    // Throws std::runtime_error when the socket path cannot name a unix socket.
    explicit syslog_sink(syslog_options o);
    ~syslog_sink();
    syslog_sink(const syslog_sink&) = delete;
    syslog_sink& operator=(const syslog_sink&) = delete;

    void send(const history::event_row& e);
    // Lines the socket did not take.
    std::uint64_t lost() const { return lost_; }

private:
    syslog_options o_;
    tv::unique_fd sock_;
    std::uint64_t lost_ = 0;
};

}  // namespace telvar::events
