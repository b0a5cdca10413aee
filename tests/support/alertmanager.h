// A real Alertmanager (Debian's prometheus-alertmanager, /usr/bin/prometheus-alertmanager) for
// the tests that send it alerts: started at a loopback address of the test on a free port, with
// its configuration, storage and log in a temporary folder of its own, over HTTP or over HTTPS
// with a certificate made for the address; stopped and its folder removed at the end.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "support/run_tool.h"

namespace tvtest {

class running_alertmanager {
public:
    static constexpr const char* binary = "/usr/bin/prometheus-alertmanager";

    // `client` is the test's address for its own requests to the server.
    running_alertmanager(const std::string& address, const std::string& client, bool tls = false);
    ~running_alertmanager();
    running_alertmanager(const running_alertmanager&) = delete;
    running_alertmanager& operator=(const running_alertmanager&) = delete;

    // It answers; else why not (a missing binary, or what it logged).
    bool ready() const { return ready_; }
    std::string why_not() const;
    // "http://ADDRESS:PORT" or "https://ADDRESS:PORT".
    std::string url() const;
    // The certificate it serves with (its own authority), for HTTPS.
    std::filesystem::path ca_file() const { return dir_ / "cert.pem"; }
    // The body of GET /api/v2/alerts: a JSON array of the alerts it holds.
    std::string alerts() const;

private:
    std::string get(const std::string& path) const;

    std::string address_, client_;
    bool tls_;
    int port_ = 0;
    std::filesystem::path dir_;
    std::unique_ptr<child_tool> server_;
    bool ready_ = false;
};

}  // namespace tvtest
