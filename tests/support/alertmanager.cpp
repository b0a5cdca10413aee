// A real Alertmanager for the tests (see alertmanager.h).
#include "support/alertmanager.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/http_client.h"

namespace tvtest {

namespace {

// A TCP port free at `address` now: bound with port 0 and let go. The tests run in network
// namespaces of their own, so nobody takes it in between.
int free_port(const std::string& address) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(address.c_str());
    socklen_t len = sizeof a;
    int port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0) ::close(s);
    return port;
}

std::filesystem::path own_folder() {
    static std::atomic<int> made{0};
    return std::filesystem::temp_directory_path() /
           ("alertmanager." + std::to_string(::getpid()) + "." + std::to_string(made++));
}

}  // namespace

running_alertmanager::running_alertmanager(const std::string& address, const std::string& client, bool tls)
    : address_(address), client_(client), tls_(tls), port_(free_port(address)), dir_(own_folder()) {
    std::filesystem::create_directories(dir_ / "data");
    if (!std::filesystem::exists(binary) || port_ == 0) return;
    std::ofstream(dir_ / "alertmanager.yml") << "route: {receiver: nowhere}\nreceivers: [{name: nowhere}]\n";
    std::string web;
    if (tls_) {
        if (!make_certificate(dir_, address_)) return;
        std::ofstream(dir_ / "web.yml") << "tls_server_config: {cert_file: " << (dir_ / "cert.pem").string()
                                        << ", key_file: " << (dir_ / "key.pem").string() << "}\n";
        web = " --web.config.file=" + (dir_ / "web.yml").string();
    }
    // No cluster (it would listen on every address); its log in a file, as a pipe nobody
    // reads would stop it once full.
    server_ = std::make_unique<child_tool>("/bin/sh", std::vector<std::string>{"-c",
        std::string("exec ") + binary + " --config.file=" + (dir_ / "alertmanager.yml").string() +
        " --storage.path=" + (dir_ / "data").string() + " --web.listen-address=" + address_ + ":" +
        std::to_string(port_) + " --cluster.listen-address= --log.level=warn" + web + " 2>" +
        (dir_ / "log").string()});
    // Bounded, for a loaded machine: 60 s.
    for (int i = 0; i < 300 && !ready_; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ready_ = get("/-/ready").rfind("OK", 0) == 0;
    }
}

running_alertmanager::~running_alertmanager() {
    if (server_) {
        ::kill(server_->pid(), SIGTERM);
        server_->finish(30);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string running_alertmanager::why_not() const {
    if (!std::filesystem::exists(binary))
        return std::string(binary) + " is missing (scripts/deps.sh test installs prometheus-alertmanager)";
    std::ostringstream log;
    log << std::ifstream(dir_ / "log").rdbuf();
    return "Alertmanager did not come up at " + url() + ": " + log.str();
}

std::string running_alertmanager::url() const {
    return (tls_ ? "https://" : "http://") + address_ + ":" + std::to_string(port_);
}

std::string running_alertmanager::alerts() const { return get("/api/v2/alerts"); }

std::string running_alertmanager::get(const std::string& path) const {
    if (tls_) {
        const std::string body = https_get(url() + path, ca_file());
        return body.rfind("error: ", 0) == 0 ? "" : body;
    }
    // HTTP/1.0, so that the body comes whole, never in chunks.
    const http_reply r = http_exchange(client_, address_, port_,
                                       "GET " + path + " HTTP/1.0\r\nHost: " + address_ + "\r\n\r\n");
    return r.status == 200 ? r.body : "";
}

}  // namespace tvtest
