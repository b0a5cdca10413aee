// telvar-exporter: serves the state of switches as Prometheus metrics.
//
//   telvar-exporter --listen ADDR:PORT [--fabric] [--timeout MS] [--deadline MS]
//                   [--user USER [--password-file FILE] | --credentials FILE]
//                   [--cert FILE --key FILE] [--verbose] IP...
//
// Every request for /metrics reads the switches then and there, requests that come together
// sharing one read (collector.h); nothing is read between requests. It serves through our HTTP
// server (http_server/), prints the address it serves on once it listens (port 0 lets the
// system choose one), and runs until SIGINT or SIGTERM.
//
// Exit statuses: 0 stopped by a signal, 1 a command-line error or a refused credentials,
// certificate or key file, 2 it could not listen.
#include <arpa/inet.h>
#include <sys/random.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "exporter/collector.h"
#include "exporter/metrics_text.h"
#include "http_server/server.h"
#include "proto/whole_file.h"
#include "telvar/cli/credentials.h"
#include "tv_api/lanes.h"

namespace {

constexpr const char* usage_text =
    "usage: telvar-exporter --listen ADDR:PORT [--fabric] [--timeout MS] [--deadline MS]\n"
    "                       [--user USER [--password-file FILE] | --credentials FILE]\n"
    "                       [--cert FILE --key FILE] [--verbose] IP...\n"
    "Serves the state of the switches at the IPv4 addresses IP... as Prometheus metrics on\n"
    "http://ADDR:PORT/metrics. Every request reads the switches anew; requests that arrive\n"
    "while a read runs share it.\n"
    "  --listen ADDR:PORT  the IPv4 address and TCP port to serve on (port 0: any free port)\n"
    "  --fabric            also every switch reachable over the links of those switches\n"
    "  --timeout MS        time budget of one exchange with a switch (default 250, 10-10000)\n"
    "  --deadline MS       time a request for /metrics is answered within, waiting included\n"
    "                      (default 8000, 100-600000); keep it below the scrape_timeout of the\n"
    "                      Prometheus job\n"
    "  --user USER         log into every switch as USER (for switches that require a login);\n"
    "                      the password is the first line of FILE, else $TELVAR_PASSWORD\n"
    "  --credentials FILE  log into the switches of each IP as the credentials file says\n"
    "                      (lines ADDRESS USER PASSWORD, ADDRESS * for any; mode 0600)\n"
    "  --cert FILE         serve HTTPS with the PEM certificate (and chain) in FILE ...\n"
    "  --key FILE          ... and its private key, unencrypted PEM, in FILE\n"
    "  --verbose           the library's diagnostics on standard error\n"
    "  --version           print which build this is\n"
    "Limits: 64 connections at once, 16 from one address; a connection idle for 10 s is\n"
    "closed; request headers up to 32 KiB, bodies up to 1 MiB.\n"
    "Exit status: 0 stopped by SIGINT or SIGTERM, 1 a command-line error or a refused\n"
    "credentials, certificate or key file, 2 cannot listen.\n";

struct settings {
    std::string listen_address;
    std::string listen_port;
    bool fabric = false;
    int timeout_ms = 250;
    int deadline_ms = 8000;
    bool verbose = false;
    std::optional<http::tls_files> tls;
    std::string user;
    std::string password;
    std::vector<std::string> targets;
    std::map<std::string, std::pair<std::string, std::string>> logins;  // from --credentials
};

[[noreturn]] void usage_error(const std::string& why) {
    std::fprintf(stderr, "telvar-exporter: %s\n%s", why.c_str(), usage_text);
    std::exit(1);
}

bool ipv4(const std::string& text) {
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

std::optional<long> number(std::string_view text, long low, long high) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const long v = std::stol(std::string(text));
    return v >= low && v <= high ? std::optional<long>(v) : std::nullopt;
}

// Switches keep user ids and passwords of at most 8 characters.
constexpr std::size_t credential_len = 8;

// A password file holds one short line; anything much larger is not one.
constexpr std::uint64_t max_password_file_bytes = 4096;

// The password for --user: from --password-file (its first line), else from the environment.
void take_password(settings& s, const std::optional<std::string>& file) {
    if (file) {
        const tv::whole_file f = tv::read_whole_file(file->c_str(), max_password_file_bytes);
        if (!f) usage_error("--password-file " + *file + ": " + tv::file_fault_text(f, max_password_file_bytes));
        if (f.text.empty()) usage_error("--password-file " + *file + ": empty");
        s.password = f.text.substr(0, f.text.find('\n'));
    } else if (const char* env = std::getenv("TELVAR_PASSWORD"); env != nullptr) {
        s.password = env;
    } else {
        usage_error("--user needs a password: --password-file FILE or $TELVAR_PASSWORD");
    }
    if (s.password.size() > credential_len) usage_error("the password is longer than 8 characters");
}

// The logins of the targets that the credentials file at `path` has an entry for.
void take_credentials(settings& s, const std::string& path) {
    telvar::credentials::file file;
    std::string error;
    if (!telvar::credentials::read(path, false, file, error)) {
        std::fprintf(stderr, "telvar-exporter: credentials file %s\n", error.c_str());
        std::exit(1);
    }
    for (const std::string& target : s.targets)
        if (const telvar::credentials::entry* e = file.find(target)) s.logins[target] = {e->user, e->password};
}

settings parse(int argc, char** argv) {
    settings s;
    std::set<std::string> given;
    std::optional<std::string> password_file;
    std::optional<std::string> credentials_file;
    std::optional<std::string> cert_file, key_file;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage_error(a + " needs a value");
            return argv[++i];
        };
        const auto milliseconds = [&](long low, long high) {
            const std::string v = value();
            const auto n = number(v, low, high);
            if (!n) usage_error(a + " " + v + ": not a number of milliseconds from " + std::to_string(low) + " to " +
                                std::to_string(high));
            return static_cast<int>(*n);
        };
        if (a == "--help" || a == "-h") {
            std::fputs(usage_text, stdout);
            std::exit(0);
        } else if (a == "--version") {
            std::printf("telvar-exporter build %s\n", TELVAR_BUILD_ID);
            std::exit(0);
        } else if (a == "--listen") {
            const std::string v = value();
            const std::size_t colon = v.rfind(':');
            if (colon == std::string::npos || !ipv4(v.substr(0, colon)) || !number(v.substr(colon + 1), 0, 65535))
                usage_error("--listen " + v + ": not an IPv4 address and a port (ADDR:PORT)");
            s.listen_address = v.substr(0, colon);
            s.listen_port = std::to_string(*number(v.substr(colon + 1), 0, 65535));
        } else if (a == "--fabric") {
            s.fabric = true;
        } else if (a == "--timeout") {
            s.timeout_ms = milliseconds(10, 10000);
        } else if (a == "--deadline") {
            s.deadline_ms = milliseconds(100, 600000);
        } else if (a == "--user") {
            s.user = value();
            if (s.user.empty() || s.user.size() > credential_len)
                usage_error("--user " + s.user + ": not a user id of 1 to 8 characters");
        } else if (a == "--password-file") {
            password_file = value();
        } else if (a == "--credentials") {
            credentials_file = value();
        } else if (a == "--cert") {
            cert_file = value();
        } else if (a == "--key") {
            key_file = value();
        } else if (a == "--verbose") {
            s.verbose = true;
        } else if (a.starts_with("-")) {
            usage_error("unknown option " + a);
        } else if (!ipv4(a)) {
            usage_error(a + ": not a dotted IPv4 address");
        } else if (!given.insert(a).second) {
            usage_error(a + " is given twice");
        } else {
            s.targets.push_back(a);
        }
    }
    if (s.listen_address.empty()) usage_error("--listen ADDR:PORT is missing");
    if (s.targets.empty()) usage_error("no switch address given");
    if (password_file && s.user.empty()) usage_error("--password-file needs --user");
    if (credentials_file && !s.user.empty()) usage_error("--credentials and --user exclude each other");
    if (cert_file.has_value() != key_file.has_value()) usage_error("--cert and --key go together");
    if (cert_file) s.tls = http::tls_files{*cert_file, *key_file};
    if (!s.user.empty()) take_password(s, password_file);
    if (credentials_file) take_credentials(s, *credentials_file);
    return s;
}

// Sequence numbers that another run of this program, or another program on this host, is
// unlikely to be using, so that their late answers never look like ours.
void seed_sequence_numbers() {
    uint32_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) == sizeof seed) msg_seq_num = seed;
}

}  // namespace

int main(int argc, char** argv) {
    const settings s = parse(argc, argv);

    std::FILE* log = s.verbose ? stderr : std::fopen("/dev/null", "w");
    tv_api_open(log != nullptr ? log : stderr);
    tv_set_strict_answers(1);
    // Switches that take a millisecond an answer are scraped side by side (TELVAR_READS may say
    // otherwise, as for the tool).
    tv::set_lanes_mode_from_environment();
    seed_sequence_numbers();
    // Normal mode, with an exchange budget short enough that a silent switch costs a fraction
    // of the scrape; a wait is a quarter of it, so a lost datagram is sent again in time.
    Discover = 0;
    tv_set_timeout(s.timeout_ms);
    tv_set_ip_timeout(s.timeout_ms / 4);

    // The signals that stop the exporter are taken by sigwait below; blocked before the HTTP
    // server starts, they stay blocked in its threads.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    exporter::collector c(s.targets,
                          exporter::scrape_options{s.fabric, std::chrono::milliseconds(s.deadline_ms), s.user,
                                                   s.password, s.logins},
                          std::chrono::milliseconds(s.timeout_ms));
    // The limits the usage text states.
    const http::limits limits{.connections = 64,
                              .per_address = 16,
                              .idle_timeout = std::chrono::seconds(10),
                              .header_memory = 32 * 1024,
                              .max_body = 1024 * 1024,
                              .handler_threads = 8};
    http::config web{.address = s.listen_address,
                     .port = static_cast<std::uint16_t>(std::stoi(s.listen_port)),
                     .limit = limits,
                     .tls = s.tls};
    web.routes.push_back({"GET", "/metrics", [&c](const http::request& r) {
                              return http::response{200, {{"Content-Type", exporter::metrics_content_type}},
                                                    c.metrics(r.received)};
                          }});
    http::start_error why;
    std::unique_ptr<http::server> server = http::server::start(std::move(web), why);
    if (!server) {
        if (why.kind == http::start_error::tls) {
            std::fprintf(stderr, "telvar-exporter: TLS: %s\n", why.text.c_str());
            return 1;
        }
        std::fprintf(stderr, "telvar-exporter: cannot listen on %s:%s: %s\n", s.listen_address.c_str(),
                     s.listen_port.c_str(), why.text.c_str());
        return 2;
    }
    std::printf("telvar-exporter: serving %s://%s:%d/metrics\n", s.tls ? "https" : "http", s.listen_address.c_str(),
                server->port());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop, &signal);
    server.reset();  // lets the answers being made go; the collector then waits for its read
    if (log != nullptr && log != stderr) std::fclose(log);
    return 0;
}
