// The exporter, run as a child process against fabrics of the simulator in this process: its
// /metrics over a fabric walk, a switch that never answers, its command line; its serving under
// concurrent and TLS clients, and switches a hostile answer made up; and a real Prometheus
// server scraping it and evaluating the example alert rules (skipped where prometheus is not
// installed). Slow clients against the server it runs on are http_server_test's.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/http_client.h"
#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "switchsim/core/fabric.h"
#include "switchsim/families/diag_family.h"

namespace {

using samples = std::map<std::string, double>;

// The body of GET `url` with `query` (URL-encoded here) after "?query=": Prometheus's API.
std::string prometheus_get(const std::string& url, const std::string& query) {
    return tvtest::run_tool("/usr/bin/python3", {"-c", "import sys, urllib.request, urllib.parse as p\n"
        "sys.stdout.write(urllib.request.urlopen(sys.argv[1] + '?query=' + p.quote(sys.argv[2]), timeout=60).read().decode())",
        url, query}).out;
}

// The series of a /metrics text (name and labels as printed) and their values.
samples samples_of(const std::string& text) {
    samples out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') out[line.substr(0, line.rfind(' '))] = std::stod(line.substr(line.rfind(' ') + 1));
    return out;
}

// The exporter serving on a port of the system's choice, which it prints.
class running_exporter {
public:
    running_exporter(const std::string& listen, const std::vector<std::string>& args,
                     const std::vector<std::string>& env = {})
        : child_(TELVAR_EXPORTER, with_listen(listen, args), env), listen_(listen) {
        const std::string line = child_.read_line();
        if (const std::size_t at = line.find("http"); at != std::string::npos) {
            address_ = line.substr(at);
            port_ = std::atoi(line.c_str() + line.rfind(':') + 1);
        }
        EXPECT_GT(port_, 0) << line;
    }
    int port() const { return port_; }
    const std::string& url() const { return address_; }
    // One scrape, from the exporter's own address: its samples, empty when it failed.
    samples scrape() const {
        const tvtest::http_reply r = tvtest::http_get(listen_, listen_, port_, "/metrics");
        EXPECT_EQ(200, r.status);
        return samples_of(r.body);
    }
    int stop() {
        ::kill(child_.pid(), SIGTERM);
        return child_.finish(30).status;
    }

private:
    static std::vector<std::string> with_listen(const std::string& listen, std::vector<std::string> args) {
        args.insert(args.begin(), {"--listen", listen + ":0"});
        return args;
    }

    tvtest::child_tool child_;
    std::string listen_, address_;
    int port_ = 0;
};

// The series of `name` for switch `chassis` reached through `target`, with more labels.
std::string of(const char* name, const std::string& target, int chassis, const std::string& more = "") {
    char fc[16];
    std::snprintf(fc, sizeof fc, "0x%06x", sim::fc_addr_of_chassis(static_cast<std::uint8_t>(chassis)));
    return std::string(name) + "{target=\"" + target + "\",switch=\"" + fc + "\"" + more + "}";
}

// How many switches a scrape lists.
int count_up(const samples& s) {
    return static_cast<int>(std::ranges::count_if(s, [](const auto& x) { return x.first.starts_with("telvar_up{"); }));
}

// Every switch of the default fabric reached through `target` read without an error (-1: not
// listed at all).
void expect_all_read(const samples& s, const std::string& target) {
    const auto value = [&](const std::string& series) { return s.contains(series) ? s.at(series) : -1; };
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(1, value(of("telvar_up", target, k))) << k;
        EXPECT_EQ(0, value(of("telvar_scrape_errors", target, k))) << k;
    }
}

// A fabric whose port counters move only when a test moves its clock: ten minutes of traffic.
class exporter_fabric : public ::testing::Test {
protected:
    explicit exporter_fabric(const char* base = tvtest::addr::exporter_base) : fab(base), base_(base) {
        fab.server().with_fabric([](sim::fabric& f) {
            f.get<sim::diag_fabric_state>().manual = true;
            sim::advance_clock(f, 600000);
            f.switches[0].get<sim::identity_state>().fans[0].status = 1;
        });
    }
    template <class F>
    decltype(auto) with_fabric(F&& f) {
        return fab.server().with_fabric(std::forward<F>(f));
    }
    std::uint32_t counter(std::size_t sw, std::size_t port, int word) {
        return with_fabric([&](sim::fabric& f) { return sim::port_counters(f, sw, port)[word]; });
    }
    void take_offline(std::size_t sw, std::size_t port) {
        with_fabric([&](sim::fabric& f) { f.switches[sw].get<sim::port_state>().active[port].admin = TV_PORT_STATE_OFF; });
    }

    tvtest::running_fabric fab;
    const std::string base_;
};

TEST_F(exporter_fabric, serves_every_switch_of_the_fabric_once) {
    // The second address is a switch of the same fabric: the walk from the first has read it.
    running_exporter e(tvtest::addr::exporter_listen, {"--fabric", base_, "127.0.130.3"});
    samples s = e.scrape();
    EXPECT_EQ(3, count_up(s));
    expect_all_read(s, base_);
    int objects = 0;
    for (int k = 1; k <= 3; ++k) {
        // The devices on its ports that are up.
        const int n = with_fabric([&](sim::fabric& f) {
            int d = 0;
            for (std::uint8_t p = 0; p < f.switches[k - 1].ports.size(); ++p)
                if (sim::operational_state(f, k - 1, p) == TV_PORT_STATE_ON) d += f.switches[k - 1].ports[p].devices.size();
            return d;
        });
        EXPECT_EQ(n, s[of("telvar_name_server_objects", base_, k)]) << k;
        objects += n;
    }
    EXPECT_EQ(objects, s["telvar_name_server_fabric_objects{target=\"" + base_ + "\"}"]);
    EXPECT_EQ(0u, s.count("telvar_name_server_fabric_objects{target=\"127.0.130.3\"}"));
    EXPECT_EQ(0, s["telvar_scrape_deadline_exceeded"]);

    // The chassis and the ports, as the simulator's switches report them.
    EXPECT_EQ(31, s[of("telvar_temperature_celsius", base_, 1)]);
    EXPECT_EQ(1, s[of("telvar_fan_failed", base_, 1, ",fan=\"1\"")]);
    EXPECT_EQ(0u, s.count(of("telvar_fan_failed", base_, 2, ",fan=\"1\"")));  // not installed
    EXPECT_EQ(1, s[of("telvar_port_type", base_, 1, ",port=\"3\",type=\"FL_Port\"")]);
    EXPECT_EQ(1, s[of("telvar_port_type", base_, 1, ",port=\"16\",type=\"T_Port\"")]);
    EXPECT_EQ(counter(0, 1, TV_CNT_IN_FRAMES), s[of("telvar_port_in_frames_total", base_, 1, ",port=\"2\"")]);
    EXPECT_EQ(counter(0, 1, TV_CNT_CRC_ERRS), s[of("telvar_port_crc_errs_total", base_, 1, ",port=\"2\"")]);
    EXPECT_GT(counter(0, 1, TV_CNT_CRC_ERRS), 0u);  // a faulty port: the check compares something

    // The second switch's port 16 carries the link to the third: the third is out of reach, and
    // still listed.
    take_offline(1, 15);
    s = e.scrape();
    EXPECT_EQ(1, s[of("telvar_port_operational_state", base_, 2, ",port=\"16\",state=\"off\"")]);
    EXPECT_EQ(0, s[of("telvar_up", base_, 3)]);
    EXPECT_EQ(0u, s.count(of("telvar_temperature_celsius", base_, 3)));
    EXPECT_EQ(0, e.stop());
}

TEST_F(exporter_fabric, logs_into_switches_that_require_it_and_out_again) {
    fab.require_login(true);
    const tvtest::temp_folder dir;
    {
        const std::string password = dir.file("password", "password\n");
        running_exporter e(tvtest::addr::exporter_listen, {"--fabric", "--user", "admin", "--password-file", password, base_});
        samples s = e.scrape();
        expect_all_read(s, base_);
        EXPECT_EQ(counter(0, 1, TV_CNT_IN_FRAMES), s[of("telvar_port_in_frames_total", base_, 1, ",port=\"2\"")]);
        EXPECT_EQ(0u, fab.sessions());
    }
    // The credentials file's entry for the target serves every switch reached through it.
    const std::string credentials = "# the test's fabric\n127.0.130.200 admin wrong\n" + base_ + " admin password\n";
    std::string file = dir.file("credentials", credentials);
    {
        running_exporter e(tvtest::addr::exporter_listen, {"--fabric", "--credentials", file, base_});
        expect_all_read(e.scrape(), base_);
        EXPECT_EQ(0u, fab.sessions());
    }
    file = dir.file("credentials", credentials, 0640);
    const tvtest::tool_result refused = tvtest::run_tool(
        TELVAR_EXPORTER, {"--listen", std::string(tvtest::addr::exporter_listen) + ":0", "--credentials", file, base_});
    EXPECT_EQ(1, refused.status);
    EXPECT_EQ("telvar-exporter: credentials file " + file + ": others than its owner may read or change it (mode 0640); chmod 600 " +
                  file + "\n",
              refused.err);
    // Without a login, or with a wrong password, the identity alone is read.
    for (const auto& [args, env] : std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>>{
             {{base_}, {}}, {{"--user", "admin", base_}, {"TELVAR_PASSWORD=wrong"}}}) {
        running_exporter e(tvtest::addr::exporter_listen, args, env);
        samples s = e.scrape();
        EXPECT_EQ(1, s[of("telvar_up", base_, 1)]);
        EXPECT_GT(s[of("telvar_scrape_errors", base_, 1)], 0);
        EXPECT_EQ(0u, s.count(of("telvar_temperature_celsius", base_, 1)));
        EXPECT_EQ(0u, fab.sessions());
    }
}

// (Answers sent twice are read past in the library: fault_schedule_test.)
TEST_F(exporter_fabric, a_busy_switch_is_named_and_still_up) {
    std::string why;
    running_exporter e(tvtest::addr::exporter_listen, {"--fabric", base_});
    // Chassis status refused as busy: an error of that kind, the switch still up.
    fab.server().add_fault(*sim::parse_fault("status=3,cmd=0x12", why));
    samples s = e.scrape();
    EXPECT_EQ(1, s[of("telvar_up", base_, 1)]);
    EXPECT_EQ(1, s[of("telvar_scrape_busy_errors", base_, 1)]);
    EXPECT_EQ(1, s[of("telvar_scrape_errors", base_, 1)]);
}

TEST_F(exporter_fabric, a_silent_switch_is_down_and_the_deadline_holds) {
    // A socket where a switch should be, which counts what reaches it and never answers.
    const int silent = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{AF_INET, htons(5000), {inet_addr(tvtest::addr::exporter_silent)}, {}};
    ASSERT_EQ(0, ::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a));
    const auto received = [&] {
        int n = 0;
        for (char buf[600]; ::recv(silent, buf, sizeof buf, 0) > 0;) ++n;
        return n;
    };
    const std::string quiet = tvtest::addr::exporter_silent;
    const auto series = [](const char* name, const std::string& target) {
        return std::string(name) + "{target=\"" + target + "\",switch=\"\"}";
    };
    {
        // One exchange of 100 ms (waits of 25) finds it silent; the switch after it is read.
        running_exporter e(tvtest::addr::exporter_listen, {"--timeout", "100", quiet, base_});
        samples s = e.scrape();
        EXPECT_EQ(0, s[series("telvar_up", quiet)]);
        EXPECT_EQ(1, s[series("telvar_scrape_errors", quiet)]);
        EXPECT_EQ(1, s[of("telvar_up", base_, 1)]);
        const int sent = received();
        EXPECT_TRUE(sent >= 1 && sent <= 4) << sent;
    }
    // The exchange outlasts the whole scrape's deadline: nothing is sent to the next switch.
    const std::uint64_t before = fab.server().stats().received;
    running_exporter e(tvtest::addr::exporter_listen, {"--timeout", "400", "--deadline", "100", quiet, base_});
    samples s = e.scrape();
    EXPECT_EQ(0, s[series("telvar_up", quiet)]);
    EXPECT_EQ(0, s[series("telvar_up", base_)]);
    EXPECT_EQ(1, s[series("telvar_scrape_errors", base_)]);
    EXPECT_EQ(1, s["telvar_scrape_deadline_exceeded"]);
    EXPECT_EQ(before, fab.server().stats().received);
    EXPECT_LE(received(), 4);
    ::close(silent);
}

TEST(exporter_command_line, refuses_what_it_cannot_serve) {
    const std::string listen = std::string(tvtest::addr::exporter_listen) + ":0";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"127.0.130.2"}, "--listen ADDR:PORT is missing"},
        {{"--listen", listen}, "no switch address given"},
        {{"--listen", "127.0.130.1:65536", "127.0.130.2"}, "--listen 127.0.130.1:65536: not an IPv4 address and a port (ADDR:PORT)"},
        {{"--listen", listen, "127.0.130.2", "127.0.130.2"}, "127.0.130.2 is given twice"},
        {{"--listen", listen, "--deadline", "1e4", "127.0.130.2"}, "--deadline 1e4: not a number of milliseconds from 100 to 600000"},
        {{"--listen", listen, "--port", "0", "127.0.130.2"}, "unknown option --port"},
        {{"--listen", listen, "--user", "administrator", "127.0.130.2"}, "--user administrator: not a user id of 1 to 8 characters"},
        {{"--listen", listen, "--password-file", "/nonexistent", "127.0.130.2"}, "--password-file needs --user"},
        {{"--listen", listen, "--user", "admin", "--password-file", "/nonexistent", "127.0.130.2"}, "--password-file /nonexistent: cannot be read: No such file or directory"},
        {{"--listen", listen, "--credentials", "/nonexistent", "--user", "admin", "127.0.130.2"}, "--credentials and --user exclude each other"},
    };
    for (const auto& [args, why] : cases) {
        const tvtest::tool_result r = tvtest::run_tool(TELVAR_EXPORTER, args);
        EXPECT_EQ(1, r.status) << why;
        EXPECT_TRUE(r.err.starts_with("telvar-exporter: " + why + "\nusage: telvar-exporter --listen")) << r.err;
    }
    running_exporter first(tvtest::addr::exporter_listen, {"127.0.130.2"});
    const std::string taken = std::string(tvtest::addr::exporter_listen) + ":" + std::to_string(first.port());
    const tvtest::tool_result r = tvtest::run_tool(TELVAR_EXPORTER, {"--listen", taken, "127.0.130.2"});
    EXPECT_EQ(2, r.status);
    EXPECT_TRUE(r.err.starts_with("telvar-exporter: cannot listen on " + taken + ": ")) << r.err;
}

// The exporter's serving, over a fabric of its own.
class exporter_http : public exporter_fabric {
protected:
    exporter_http() : exporter_fabric(tvtest::addr::exporter_http_base) {}

    std::uint64_t received() { return fab.server().stats().received; }
};

TEST_F(exporter_http, concurrent_scrapes_share_one_read) {
    // An exchange budget whose first wait (a quarter) outlasts the delayed answer below: nothing
    // is sent twice.
    running_exporter e(tvtest::addr::exporter_http_listen, {"--fabric", "--timeout", "10000", "--deadline", "60000", base_});
    const std::uint64_t before = received();
    EXPECT_EQ(1, e.scrape().at("telvar_scrapes_total"));
    const std::uint64_t one_read = received() - before;

    // The first identity answer of the next read comes 1.5 s late: the other five requests are
    // sent once the read has begun, and arrive while it runs.
    std::string why;
    fab.server().add_fault(*sim::parse_fault("delay=1500,cmd=0x07,count=1", why));
    const std::uint64_t start = received();
    std::vector<std::future<samples>> answers;
    answers.push_back(std::async(std::launch::async, [&] { return e.scrape(); }));
    while (received() == start) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int i = 0; i < 5; ++i) answers.push_back(std::async(std::launch::async, [&] { return e.scrape(); }));
    for (auto& a : answers) {
        const samples s = a.get();
        EXPECT_EQ(2, s.at("telvar_scrapes_total"));
        EXPECT_EQ(3, count_up(s));
        EXPECT_EQ(1, s.at(of("telvar_up", base_, 3)));
    }
    EXPECT_EQ(one_read, received() - start);
    EXPECT_EQ(0, e.stop());
}

TEST_F(exporter_http, serves_https_with_a_certificate_made_here) {
    const tvtest::temp_folder dir;
    ASSERT_TRUE(tvtest::make_certificate(dir.path(), tvtest::addr::exporter_http_listen)) << "openssl (scripts/deps.sh test)";
    const std::string cert = dir.path("cert.pem"), key = dir.path("key.pem");
    {
        running_exporter e(tvtest::addr::exporter_http_listen, {"--cert", cert, "--key", key, base_});
        EXPECT_TRUE(e.url().starts_with("https://" + std::string(tvtest::addr::exporter_http_listen) + ":")) << e.url();
        const samples s = samples_of(tvtest::https_get(e.url(), cert));
        EXPECT_EQ(1, s.at(of("telvar_up", base_, 1)));
        EXPECT_EQ(0, tvtest::http_get(tvtest::addr::exporter_http_client, tvtest::addr::exporter_http_listen, e.port(), "/metrics").status);
        EXPECT_EQ(0, e.stop());
    }
    const std::string listen = std::string(tvtest::addr::exporter_http_listen) + ":0";
    tvtest::tool_result r = tvtest::run_tool(TELVAR_EXPORTER, {"--listen", listen, "--cert", cert, base_});
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.err.starts_with("telvar-exporter: --cert and --key go together\nusage:")) << r.err;
    r = tvtest::run_tool(TELVAR_EXPORTER, {"--listen", listen, "--cert", cert, "--key", dir.path("none"), base_});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("telvar-exporter: TLS: key " + dir.path("none") + ": No such file or directory\n", r.err);
    r = tvtest::run_tool(TELVAR_EXPORTER, {"--listen", listen, "--cert", cert, "--key", dir.path().string(), base_});
    EXPECT_EQ("telvar-exporter: TLS: key " + dir.path().string() + ": not a regular file\n", r.err);
    r = tvtest::run_tool(TELVAR_EXPORTER, {"--listen", listen, "--cert", key, "--key", cert, base_});
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.err.starts_with("telvar-exporter: TLS: certificate or key refused: ")) << r.err;
}

TEST_F(exporter_http, switches_a_hostile_answer_made_up_leave_with_it) {
    running_exporter e(tvtest::addr::exporter_http_listen, {"--fabric", "--timeout", "100", base_});
    EXPECT_EQ(3, count_up(e.scrape()));
    // One links read of the first switch answered with every byte 0x01: a far end at an address
    // that no switch has, which does not answer, in place of the real neighbours.
    std::string why;
    fab.server().add_fault(*sim::parse_fault("fill=0x01,sub=0x10,count=1", why));
    const samples hostile = e.scrape();
    const std::string phantom = "telvar_up{target=\"" + base_ + "\",switch=\"0x010000\"}";
    ASSERT_EQ(1u, hostile.count(phantom));
    EXPECT_EQ(0, hostile.at(phantom));
    // The next scrape lists the fabric as it is. (That such a switch is not remembered after
    // is exporter_collector_test's.)
    fab.server().clear_faults();
    const samples s = e.scrape();
    EXPECT_EQ(3, count_up(s));
    expect_all_read(s, base_);
}

// A Prometheus server scraping the exporter and evaluating the example alert rules every
// second, with its configuration, storage and log in a temporary folder.
class prometheus_scrape : public exporter_fabric {
protected:
    prometheus_scrape() : exporter_fabric(tvtest::addr::prometheus_base) {}
    void SetUp() override {
        if (tvtest::run_tool("/bin/sh", {"-c", "command -v prometheus"}).status != 0)
            GTEST_SKIP() << "prometheus is not installed (scripts/deps.sh test installs it)";
    }
    void start(int exporter_port) {
        std::ofstream(dir_.path("prometheus.yml"))
            << "global: {scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s}\n"
               "rule_files: ['" TELVAR_ALERT_RULES "']\n"
               "scrape_configs: [{job_name: telvar, static_configs: [{targets: ['"
            << tvtest::addr::prometheus_exporter << ":" << exporter_port << "']}]}]\n";
        // Its log goes to a file: a pipe nobody reads would stop it once full.
        server_ = std::make_unique<tvtest::child_tool>("/bin/sh", std::vector<std::string>{"-c",
            "exec prometheus --config.file=" + dir_.path("prometheus.yml") + " --storage.tsdb.path=" + dir_.path("data") +
            " --web.listen-address=" + api_ + " --log.level=warn 2>" + dir_.path("log")});
    }
    void TearDown() override {
        if (server_) {
            ::kill(server_->pid(), SIGTERM);
            server_->finish(30);
        }
    }
    // Polls until `query` gives one sample that `ok` accepts (60 s at most, for a loaded machine).
    std::optional<double> wait_for(const std::string& query, const std::function<bool(double)>& ok) {
        std::optional<double> v;
        for (int i = 0; i < 300 && !(v && ok(*v)); ++i) {
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const auto doc = nlohmann::json::parse(prometheus_get("http://" + api_ + "/api/v1/query", query), nullptr, false);
            v.reset();
            if (!doc.is_discarded() && doc["data"]["result"].size() == 1)
                v = std::stod(doc["data"]["result"][0]["value"][1].get<std::string>());
        }
        return v;
    }
    std::optional<double> value(const std::string& query) {
        return wait_for(query, [](double) { return true; });
    }

    const tvtest::temp_folder dir_;
    const std::string api_ = std::string(tvtest::addr::prometheus_server) + ":9090";
    std::unique_ptr<tvtest::child_tool> server_;
};

TEST_F(prometheus_scrape, stores_what_the_switches_report_and_alerts) {
    running_exporter e(tvtest::addr::prometheus_exporter, {"--fabric", "--timeout", "100", "--deadline", "800", base_});
    start(e.port());
    const auto is = [](double want) { return [want](double v) { return v == want; }; };
    ASSERT_EQ(3, wait_for("count(telvar_up == 1)", is(3))) << std::ifstream(dir_.path("log")).rdbuf();
    const std::string sw2 = "switch=\"0x108000\"";

    // The exporter's own next scrape (asked for here) starts after the change; every scrape
    // numbered after it starts later still.
    take_offline(1, 1);
    const double mine = e.scrape()["telvar_scrapes_total"];
    ASSERT_TRUE(wait_for("telvar_scrapes_total", [&](double v) { return v > mine; }));
    EXPECT_EQ(1, value("telvar_port_operational_state{" + sw2 + ",port=\"2\",state=\"off\"}"));
    EXPECT_EQ(0, value("telvar_port_operational_state{" + sw2 + ",port=\"2\",state=\"on\"}"));

    // The example rules: the port went down, the first switch's fan 1 failed.
    EXPECT_EQ(1, wait_for("count(ALERTS{alertname=\"PortWentDown\",alertstate=\"firing\"," + sw2 + ",port=\"2\"})", is(1)));
    EXPECT_EQ(1, value("count(ALERTS{alertname=\"FanFailed\",alertstate=\"firing\",switch=\"0x104000\",fan=\"1\"})"));
}

}  // namespace
