// The exporter, run as a child process against fabrics of the simulator in this process: its
// /metrics text over a fabric walk, a switch that never answers, its command line; and a real
// Prometheus server scraping it (skipped where prometheus is not installed).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "diag_family.h"
#include "fabric.h"
#include "support/http_get.h"
#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"

namespace {

namespace fs = std::filesystem;
using samples = std::map<std::string, double>;

// The exporter serving on `listen`, port 0; its port is read from the line it prints.
class running_exporter {
public:
    running_exporter(const std::string& listen, std::vector<std::string> args) : listen_(listen) {
        args.insert(args.begin(), {"--listen", listen + ":0"});
        child_ = std::make_unique<tvtest::child_tool>(TELVAR_EXPORTER, args);
        const std::string line = child_->read_line();
        const std::string prefix = "telvar-exporter: serving http://" + listen + ":";
        if (line.starts_with(prefix)) port_ = std::atoi(line.c_str() + prefix.size());
        EXPECT_GT(port_, 0) << line;
    }
    int port() const { return port_; }

    // One scrape: series (name and labels as printed) and their values.
    samples scrape() const {
        const tvtest::http_response r = tvtest::http_get(listen_, port_, "/metrics", 60000);
        EXPECT_EQ(200, r.status);
        samples out;
        std::istringstream text(r.body);
        for (std::string line; std::getline(text, line);)
            if (!line.empty() && line[0] != '#') {
                const std::size_t blank = line.rfind(' ');
                out[line.substr(0, blank)] = std::stod(line.substr(blank + 1));
            }
        return out;
    }
    // Stops it as an operator would, and what it printed.
    tvtest::tool_result stop() {
        ::kill(child_->pid(), SIGTERM);
        return child_->finish(30);
    }

private:
    std::string listen_;
    std::unique_ptr<tvtest::child_tool> child_;
    int port_ = 0;
};

// The labels of switch `chassis` of a fabric reached through `target`, and more.
std::string of(const char* name, const std::string& target, int chassis, const std::string& more = "") {
    char fc[16];
    std::snprintf(fc, sizeof fc, "0x%06x", sim::fc_addr_of_chassis(static_cast<std::uint8_t>(chassis)));
    return std::string(name) + "{target=\"" + target + "\",switch=\"" + fc + "\"" + more + "}";
}

std::size_t count_of(const samples& s, const std::string& name) {
    std::size_t n = 0;
    for (const auto& [series, value] : s) n += series.starts_with(name + "{");
    return n;
}

// Name-server objects the fabric lists for switch `sw`: the devices on its ports that are up.
int devices_on(const sim::fabric& f, std::size_t sw) {
    int n = 0;
    for (std::size_t p = 0; p < f.switches[sw].ports.size(); ++p)
        if (sim::operational_state(f, sw, static_cast<std::uint8_t>(p)) == TV_PORT_STATE_ON)
            n += static_cast<int>(f.switches[sw].ports[p].devices.size());
    return n;
}

// A fabric whose port counters move only when a test moves its clock: ten minutes of traffic.
class exporter_fabric : public ::testing::Test {
protected:
    explicit exporter_fabric(const char* base = tvtest::addr::exporter_base) : fab(base), base_(base) {
        fab.server().with_fabric([](sim::fabric& f) {
            f.get<sim::diag_fabric_state>().manual = true;
            sim::advance_clock(f, 600000);
        });
    }
    template <class F>
    decltype(auto) with_fabric(F&& f) {
        return fab.server().with_fabric(std::forward<F>(f));
    }
    std::uint32_t counter(std::size_t sw, std::size_t port, int word) {
        return with_fabric([&](sim::fabric& f) { return sim::port_counters(f, sw, port)[word]; });
    }

    tvtest::running_fabric fab;
    const std::string base_;
};

TEST_F(exporter_fabric, serves_every_switch_of_the_fabric_once) {
    with_fabric([](sim::fabric& f) {
        f.switches[1].get<sim::identity_state>().temperature = 83;
        f.switches[0].get<sim::identity_state>().fans[0].status = 1;
    });
    // The second address is a switch of the same fabric: the walk from the first has read it.
    running_exporter e(tvtest::addr::exporter_listen, {"--fabric", base_, "127.0.130.3"});
    samples s = e.scrape();

    EXPECT_EQ(3u, count_of(s, "telvar_up"));
    int objects = 0;
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(1, s[of("telvar_up", base_, k)]) << k;
        EXPECT_EQ(0, s[of("telvar_scrape_errors", base_, k)]) << k;
        const int n = with_fabric([&](sim::fabric& f) { return devices_on(f, k - 1); });
        EXPECT_EQ(n, s[of("telvar_name_server_objects", base_, k)]) << k;
        objects += n;
    }
    EXPECT_EQ(objects, s["telvar_name_server_fabric_objects{target=\"" + base_ + "\"}"]);
    EXPECT_EQ(1u, count_of(s, "telvar_name_server_fabric_objects"));
    EXPECT_EQ(0, s["telvar_scrape_deadline_exceeded"]);

    // The chassis, as the simulator's switches report it.
    EXPECT_EQ(41.5, s[of("telvar_temperature_celsius", base_, 2)]);
    EXPECT_EQ(0, s[of("telvar_power_failed", base_, 2)]);
    EXPECT_EQ(1, s[of("telvar_fan_failed", base_, 1, ",fan=\"1\"")]);
    EXPECT_EQ(0, s[of("telvar_fan_failed", base_, 1, ",fan=\"2\"")]);
    EXPECT_EQ(0u, s.count(of("telvar_fan_failed", base_, 2, ",fan=\"1\"")));  // not installed

    // Ports: types and states as state sets, the counters as the switch counts them.
    EXPECT_EQ(1, s[of("telvar_port_type", base_, 1, ",port=\"3\",type=\"FL_Port\"")]);
    EXPECT_EQ(0, s[of("telvar_port_type", base_, 1, ",port=\"3\",type=\"F_Port\"")]);
    EXPECT_EQ(1, s[of("telvar_port_type", base_, 1, ",port=\"16\",type=\"T_Port\"")]);
    EXPECT_EQ(1, s[of("telvar_port_operational_state", base_, 1, ",port=\"1\",state=\"on\"")]);
    EXPECT_EQ(counter(0, 1, TV_CNT_IN_FRAMES), s[of("telvar_port_in_frames_total", base_, 1, ",port=\"2\"")]);
    EXPECT_EQ(counter(0, 1, TV_CNT_CRC_ERRS), s[of("telvar_port_crc_errs_total", base_, 1, ",port=\"2\"")]);
    EXPECT_GT(counter(0, 1, TV_CNT_CRC_ERRS), 0u);  // a faulty port: the check compares something

    // The link to the third switch goes down with the second switch's port 16: the third is out
    // of reach, and is still listed.
    with_fabric([](sim::fabric& f) { f.switches[1].get<sim::port_state>().active[15].admin = TV_PORT_STATE_OFF; });
    s = e.scrape();
    EXPECT_EQ(2, s["telvar_scrapes_total"]);
    EXPECT_EQ(1, s[of("telvar_port_operational_state", base_, 2, ",port=\"16\",state=\"off\"")]);
    EXPECT_EQ(1, s[of("telvar_up", base_, 2)]);
    EXPECT_EQ(0, s[of("telvar_up", base_, 3)]);
    EXPECT_EQ(0u, s.count(of("telvar_temperature_celsius", base_, 3)));
    EXPECT_EQ(0, e.stop().status);
}

// A socket where a switch should be, which never answers and counts what reaches it.
class silent_switch {
public:
    explicit silent_switch(const char* address) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(5000);
        inet_pton(AF_INET, address, &a.sin_addr);
        EXPECT_EQ(0, ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a));
    }
    ~silent_switch() { ::close(fd_); }
    // Datagrams received since the last call.
    int received() {
        char buf[600];
        int n = 0;
        while (::recv(fd_, buf, sizeof buf, MSG_DONTWAIT) > 0) ++n;
        return n;
    }

private:
    int fd_;
};

TEST_F(exporter_fabric, a_silent_switch_is_down_and_the_deadline_holds) {
    silent_switch silent(tvtest::addr::exporter_silent);
    const std::string quiet = tvtest::addr::exporter_silent;
    const std::string up_of_quiet = "telvar_up{target=\"" + quiet + "\",switch=\"\"}";
    {
        // One exchange of 100 ms finds it silent (a wait is a quarter of that); the switch after
        // it is read as usual.
        running_exporter e(tvtest::addr::exporter_listen, {"--timeout", "100", quiet, base_});
        samples s = e.scrape();
        EXPECT_EQ(0, s[up_of_quiet]);
        EXPECT_EQ(1, s["telvar_scrape_errors{target=\"" + quiet + "\",switch=\"\"}"]);
        EXPECT_EQ(1, s[of("telvar_up", base_, 1)]);
        EXPECT_EQ(0, s["telvar_scrape_deadline_exceeded"]);
        const int sent = silent.received();
        EXPECT_GE(sent, 1);
        EXPECT_LE(sent, 4);
    }
    // An exchange outlasts the whole scrape's deadline: nothing is sent to the next switch.
    const std::uint64_t before = fab.server().stats().received;
    running_exporter e(tvtest::addr::exporter_listen, {"--timeout", "400", "--deadline", "100", quiet, base_});
    samples s = e.scrape();
    EXPECT_EQ(0, s[up_of_quiet]);
    EXPECT_EQ(0, s["telvar_up{target=\"" + base_ + "\",switch=\"\"}"]);
    EXPECT_EQ(1, s["telvar_scrape_errors{target=\"" + base_ + "\",switch=\"\"}"]);
    EXPECT_EQ(1, s["telvar_scrape_deadline_exceeded"]);
    EXPECT_EQ(before, fab.server().stats().received);
    EXPECT_LE(silent.received(), 4);
}

TEST(exporter_command_line, refuses_what_it_cannot_serve) {
    const std::string listen = std::string(tvtest::addr::exporter_listen) + ":0";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"127.0.130.2"}, "--listen ADDR:PORT is missing"},
        {{"--listen", listen}, "no switch address given"},
        {{"--listen", "127.0.130.1", "127.0.130.2"}, "--listen 127.0.130.1: not an IPv4 address and a port (ADDR:PORT)"},
        {{"--listen", "127.0.130.1:65536", "127.0.130.2"}, "--listen 127.0.130.1:65536: not an IPv4 address and a port (ADDR:PORT)"},
        {{"--listen", listen, "127.0.130"}, "127.0.130: not a dotted IPv4 address"},
        {{"--listen", listen, "127.0.130.2", "127.0.130.2"}, "127.0.130.2 is given twice"},
        {{"--listen", listen, "--timeout", "5", "127.0.130.2"}, "--timeout 5: not a number of milliseconds from 10 to 10000"},
        {{"--listen", listen, "--deadline", "1e4", "127.0.130.2"}, "--deadline 1e4: not a number of milliseconds from 100 to 600000"},
        {{"--listen", listen, "--deadline"}, "--deadline needs a value"},
        {{"--listen", listen, "--port", "0", "127.0.130.2"}, "unknown option --port"},
    };
    for (const auto& [args, why] : cases) {
        const tvtest::tool_result r = tvtest::run_tool(TELVAR_EXPORTER, args);
        EXPECT_EQ(1, r.status) << why;
        EXPECT_TRUE(r.err.starts_with("telvar-exporter: " + why + "\nusage: telvar-exporter --listen")) << r.err;
    }
    // An address and port already taken: status 2, and why.
    running_exporter first(tvtest::addr::exporter_listen, {"127.0.130.2"});
    const std::string taken = std::string(tvtest::addr::exporter_listen) + ":" + std::to_string(first.port());
    const tvtest::tool_result r = tvtest::run_tool(TELVAR_EXPORTER, {"--listen", taken, "127.0.130.2"});
    EXPECT_EQ(2, r.status);
    EXPECT_TRUE(r.err.starts_with("telvar-exporter: cannot listen on " + taken + ": ")) << r.err;
}

// A Prometheus server scraping the exporter and evaluating the example alert rules every second,
// with its own configuration and storage in a temporary folder.
class prometheus_server {
public:
    prometheus_server(const fs::path& dir, const std::string& exporter) : dir_(dir) {
        fs::create_directories(dir / "data");
        std::ofstream(dir / "prometheus.yml")
            << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n  evaluation_interval: 1s\n"
               "rule_files: ['" TELVAR_ALERT_RULES "']\n"
               "scrape_configs:\n  - job_name: telvar\n    static_configs:\n      - targets: ['"
            << exporter << "']\n";
        // Its log goes to a file: a pipe nobody reads would stop it once full.
        const std::string command = "exec prometheus --config.file=" + (dir / "prometheus.yml").string() +
                                    " --storage.tsdb.path=" + (dir / "data").string() +
                                    " --web.listen-address=" + tvtest::addr::prometheus_server + ":9090" +
                                    " --log.level=warn 2>" + (dir / "log").string();
        child_ = std::make_unique<tvtest::child_tool>("/bin/sh", std::vector<std::string>{"-c", command});
    }
    ~prometheus_server() {
        ::kill(child_->pid(), SIGTERM);
        child_->finish(30);
    }
    std::string log() const {
        std::ifstream in(dir_ / "log");
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // The value of an instant query that gives one sample, or nullopt while it gives none.
    std::optional<double> value(const std::string& query) const {
        const tvtest::http_response r = tvtest::http_get(tvtest::addr::prometheus_server, 9090,
                                                         "/api/v1/query?query=" + tvtest::url_encoded(query));
        if (r.status != 200) return std::nullopt;
        const auto doc = nlohmann::json::parse(r.body, nullptr, false);
        if (doc.is_discarded() || doc["data"]["result"].size() != 1) return std::nullopt;
        return std::stod(doc["data"]["result"][0]["value"][1].get<std::string>());
    }
    // Polls until `query` gives one sample that `ok` accepts (60 s at most, for a loaded machine).
    template <class Ok>
    std::optional<double> wait_for(const std::string& query, Ok&& ok) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::optional<double> v;
        while (std::chrono::steady_clock::now() < deadline) {
            v = value(query);
            if (v && ok(*v)) return v;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return v;
    }

private:
    fs::path dir_;
    std::unique_ptr<tvtest::child_tool> child_;
};

class prometheus_scrape : public exporter_fabric {
protected:
    prometheus_scrape() : exporter_fabric(tvtest::addr::prometheus_base) {}
    void SetUp() override {
        if (tvtest::run_tool("/bin/sh", {"-c", "command -v prometheus"}).status != 0)
            GTEST_SKIP() << "prometheus is not installed (scripts/deps.sh test installs it)";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    const fs::path dir_ = fs::temp_directory_path() / ("exporter_test." + std::to_string(::getpid()));
};

TEST_F(prometheus_scrape, stores_what_the_switches_report_and_alerts) {
    with_fabric([](sim::fabric& f) { f.switches[0].get<sim::identity_state>().fans[0].status = 1; });
    running_exporter e(tvtest::addr::prometheus_exporter, {"--fabric", "--timeout", "100", "--deadline", "800", base_});
    prometheus_server p(dir_, std::string(tvtest::addr::prometheus_exporter) + ":" + std::to_string(e.port()));
    const auto is = [](double want) { return [want](double v) { return v == want; }; };

    ASSERT_EQ(3, p.wait_for("count(telvar_up == 1)", is(3))) << p.log();
    const std::string sw2 = "{switch=\"0x108000\"";
    const int temperature = with_fabric([](sim::fabric& f) { return f.switches[1].get<sim::identity_state>().temperature; });
    EXPECT_EQ(temperature * 0.5, p.value("telvar_temperature_celsius" + sw2 + "}"));
    EXPECT_EQ(counter(1, 1, TV_CNT_OUT_FRAMES), p.value("telvar_port_out_frames_total" + sw2 + ",port=\"2\"}"));

    // Port 2 of the second switch goes offline. The exporter's own next scrape (asked for here)
    // starts after the change; every scrape numbered after it starts later still.
    with_fabric([](sim::fabric& f) { f.switches[1].get<sim::port_state>().active[1].admin = TV_PORT_STATE_OFF; });
    const double mine = e.scrape()["telvar_scrapes_total"];
    ASSERT_TRUE(p.wait_for("telvar_scrapes_total", [&](double v) { return v > mine; })) << p.log();
    EXPECT_EQ(1, p.value("telvar_port_operational_state" + sw2 + ",port=\"2\",state=\"off\"}"));
    EXPECT_EQ(0, p.value("telvar_port_operational_state" + sw2 + ",port=\"2\",state=\"on\"}"));

    // The example rules.
    EXPECT_EQ(1, p.wait_for("ALERTS{alertname=\"PortWentDown\",alertstate=\"firing\"}", is(1))) << p.log();
    EXPECT_EQ(1, p.value("count(ALERTS{alertname=\"PortWentDown\"," + sw2.substr(1) + ",port=\"2\"})"));
    EXPECT_EQ(1, p.value("count(ALERTS{alertname=\"FanFailed\",alertstate=\"firing\",switch=\"0x104000\",fan=\"1\"})"));
}

}  // namespace
