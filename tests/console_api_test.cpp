// The watcher's web console, in-process: its server on a loopback address of the test, over a
// fabric of the simulator read into a history of the test's own, as telvard wires them. Who
// may call it (tokens, sessions, CSRF, roles, failed logins), what each endpoint answers
// against the simulator, that a preview changes nothing and an apply changes the switch and
// the history, that texts from switches stay text, and TLS. (Slow clients against the server
// the console runs on are http_server_test's.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "history/store.h"
#include "history/time_text.h"
#include "support/http_client.h"
#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "switchsim/families/identity_family.h"
#include "telvard/console/console.h"
#include "telvard/console/sessions.h"
#include "telvard/console/tokens.h"
#include "telvard/fabric_reading.h"
#include "telvard/readings.h"
#include "telvard/settings.h"

namespace {

namespace C = telvard::console;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* reader = "read-token-0123456789";
constexpr const char* admin = "admin-token-0123456789";
const std::string hostile_script = "<script>alert(1)</script>";
const std::string hostile_attribute = "\"><img src=x onerror=alert(1)>";

sim::fabric hostile_fabric() {
    sim::fabric f = sim::default_fabric(inet_addr(tvtest::addr::console_base));
    f.switches[0].get<sim::identity_state>().description = hostile_script;
    f.switches[1].get<sim::identity_state>().description = hostile_attribute;
    return f;
}

struct reply {
    int status = 0;
    std::string head, body;
    json doc() const { return json::parse(body, nullptr, false); }
    // A header's value ("" when absent); names compared without case.
    std::string header(const std::string& name) const {
        std::string lower_head = head, lower_name = name;
        for (auto* s : {&lower_head, &lower_name})
            for (char& c : *s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto at = lower_head.find("\r\n" + lower_name + ":");
        if (at == std::string::npos) return "";
        const auto begin = at + 3 + name.size();
        return head.substr(begin + 1, head.find("\r\n", begin) - begin - 1);
    }
};

class console_api : public ::testing::Test {
protected:
    void SetUp() override {
        telvard::set_up_library(nullptr);
        store = telvar::history::open_store("sqlite:" + folder.path("history.db"), true);
        live.read_now = [this](const std::string& f) {
            const std::lock_guard<std::timed_mutex> turn(live.library);
            views.publish(f, telvard::take_reading(*store, f, nullptr).snapshot, telvard::now_ms());
            return true;
        };
        ASSERT_TRUE(live.read_now(fabric));
        start({});
    }

    void start(std::optional<http::tls_files> tls) {
        server.reset();
        C::options o{tvtest::addr::console_listen, 0, {{C::role::read, reader}, {C::role::admin, admin}}, std::move(tls), {}};
        o.limit.idle_timeout = std::chrono::seconds(30);
        http::start_error why;
        server = C::console::start(std::move(o), {views, store.get(), live}, why);
        ASSERT_NE(nullptr, server) << why.text;
    }

    reply call(const std::string& method, const std::string& path, const std::vector<std::string>& headers = {},
               const std::string& body = "", const char* from = tvtest::addr::console_client) {
        std::string request = method + " " + path + " HTTP/1.1\r\nHost: console\r\nConnection: close\r\n";
        for (const std::string& h : headers) request += h + "\r\n";
        if (method == "POST") request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
        const auto r = tvtest::http_exchange(from, tvtest::addr::console_listen, server->port(), request + "\r\n" + body);
        return {r.status, r.head, r.body};
    }
    reply get(const std::string& path, const char* token = reader) { return call("GET", path, {bearer(token)}); }
    static std::string bearer(const char* token) { return std::string("Authorization: Bearer ") + token; }
    std::string at_fabric(const std::string& path) {
        return path + (path.find('?') == std::string::npos ? "?" : "&") + "fabric=" + fabric;
    }

    // The plan a preview of `zoning` on chassis 1 makes.
    json preview(const json& zoning) {
        const reply r = call("POST", at_fabric("/api/zoning/preview?chassis=1"), {bearer(reader)}, zoning.dump());
        EXPECT_EQ(200, r.status) << r.body;
        return r.doc()["plan"];
    }

    const std::string fabric = tvtest::addr::console_base;
    const json new_zone = {{"hard", {{{"id", 1}, {"enabled", true}, {"ports", {1, 2, 3}}}, {{"id", 2}, {"enabled", false}, {"ports", {5, 6}}},
                                     {{"id", 9}, {"enabled", true}, {"ports", {7, 8}}}}}};
    tvtest::saved_globals globals;
    tvtest::running_fabric fab{hostile_fabric()};
    tvtest::temp_folder folder;
    std::unique_ptr<telvar::history::store> store;
    C::live_access live;
    C::fabric_views views{{fabric}};
    std::unique_ptr<C::console> server;
};

TEST_F(console_api, refuses_callers_without_a_right_token_or_role) {
    EXPECT_EQ(401, call("GET", "/api/fabrics").status);
    EXPECT_EQ(401, get("/api/fabrics", "read-token-0123456788").status);
    EXPECT_EQ(401, call("GET", "/api/fabrics", {"Authorization: Basic cmVhZDpyZWFk"}).status);
    EXPECT_EQ(200, get("/api/fabrics").status);
    // A read token may preview but never apply, and its apply changes nothing.
    const json body = {{"confirm", true}, {"zoning", new_zone}};
    const reply refused = call("POST", at_fabric("/api/zoning/apply?chassis=1"), {bearer(reader)}, body.dump());
    EXPECT_EQ(403, refused.status);
    EXPECT_EQ(std::vector<std::string>{"hard zone 9: ports none, disabled -> ports 7 8, enabled"}, preview(new_zone));
    // An apply without its confirmation changes nothing either.
    EXPECT_EQ(400, call("POST", at_fabric("/api/zoning/apply?chassis=1"), {bearer(admin)}, json{{"zoning", new_zone}}.dump()).status);
    EXPECT_EQ(1u, preview(new_zone).size());
}

TEST_F(console_api, a_session_by_cookie_needs_its_csrf_token_to_change_anything) {
    const reply in = call("POST", "/login", {}, json{{"token", admin}}.dump());
    ASSERT_EQ(200, in.status) << in.body;
    const std::string set = in.header("Set-Cookie");
    EXPECT_THAT(set, HasSubstr("; HttpOnly; SameSite=Strict; Path=/"));
    EXPECT_THAT(set, Not(HasSubstr("Secure")));
    const std::string cookie = "Cookie: " + set.substr(0, set.find(';'));
    const std::string csrf = in.doc()["csrf"];
    EXPECT_EQ("admin", in.doc()["role"]);
    EXPECT_EQ(32u, csrf.size());

    EXPECT_EQ(200, call("GET", "/api/fabrics", {cookie}).status);
    EXPECT_EQ(csrf, call("GET", "/api/session", {cookie}).doc()["csrf"]);
    const json body = {{"confirm", true}, {"zoning", new_zone}};
    for (const std::vector<std::string>& headers : {std::vector<std::string>{cookie}, {cookie, "X-CSRF-Token: " + std::string(32, '0')}})
        EXPECT_EQ(403, call("POST", at_fabric("/api/zoning/apply?chassis=1"), headers, body.dump()).status);
    EXPECT_EQ(1u, preview(new_zone).size()) << "a refused apply changed the switch";

    EXPECT_EQ(403, call("POST", "/logout", {cookie}).status);
    EXPECT_EQ(200, call("POST", "/logout", {cookie, "X-CSRF-Token: " + csrf}).status);
    EXPECT_EQ(401, call("GET", "/api/fabrics", {cookie}).status);
    EXPECT_EQ(401, call("GET", "/api/fabrics", {"Cookie: telvard_session=0123"}).status);
}

TEST_F(console_api, failed_logins_from_one_address_are_limited) {
    const auto login = [&](const char* token) {
        return call("POST", "/login", {}, json{{"token", token}}.dump(), tvtest::addr::console_login_client);
    };
    for (int i = 0; i < 5; ++i) EXPECT_EQ(401, login("not-a-token-at-all").status);
    const reply limited = login(reader);
    EXPECT_EQ(429, limited.status);
    EXPECT_NE("", limited.header("Retry-After"));
    // Another address is not held up by it.
    EXPECT_EQ(200, call("POST", "/login", {}, json{{"token", reader}}.dump()).status);
    EXPECT_EQ(400, call("POST", "/login", {}, "{\"token\": 7}").status);
}

TEST_F(console_api, every_answer_carries_the_security_headers) {
    for (const reply& r : {get(at_fabric("/api/fabric")), call("GET", "/api/fabrics"), get("/no/such/page"), call("GET", "/")}) {
        EXPECT_EQ("default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; object-src 'none'; "
                  "frame-ancestors 'none'; base-uri 'none'",
                  r.header("Content-Security-Policy"));
        EXPECT_EQ("nosniff", r.header("X-Content-Type-Options"));
        EXPECT_EQ("no-referrer", r.header("Referrer-Policy"));
    }
    // The page itself is console_browser_test's, which loads it.
    EXPECT_EQ("application/json", get("/api/fabrics").header("Content-Type"));
}

TEST_F(console_api, fabric_switch_and_pictures_come_from_the_last_reading) {
    const json fabrics = get("/api/fabrics").doc();
    ASSERT_EQ(1u, fabrics["fabrics"].size());
    EXPECT_EQ(fabric, fabrics["fabrics"][0]["fabric"]);
    EXPECT_EQ(3, fabrics["fabrics"][0]["switches"]);
    EXPECT_EQ(0, fabrics["fabrics"][0]["switches_down"]);

    const json f = get(at_fabric("/api/fabric")).doc();
    ASSERT_EQ(3u, f["switches"].size());
    EXPECT_EQ(2u, f["links"].size());
    EXPECT_EQ("0x104000", f["switches"][0]["fc_address"]);
    EXPECT_EQ(json({{"mark", "OFFLINE"}, {"port", 14}}), f["switches"][0]["ports_in_trouble"][0]);

    const json sw = get(at_fabric("/api/switch?chassis=2")).doc();
    EXPECT_EQ(2, sw["chassis"]);
    EXPECT_EQ(16u, sw["ports"].size());
    EXPECT_TRUE(sw.contains("chassis_status"));
    EXPECT_EQ(404, get(at_fabric("/api/switch?chassis=9")).status);
    EXPECT_EQ(400, get(at_fabric("/api/switch?chassis=x")).status);
    EXPECT_EQ(404, get("/api/fabric?fabric=127.0.54.99").status);

    const reply ports = get(at_fabric("/api/switch/ports?chassis=1"));
    EXPECT_EQ(true, ports.doc()["live"]);
    EXPECT_EQ(16u, ports.doc()["ports"].size());
    EXPECT_TRUE(ports.doc()["ports"][0].contains("counters"));
    {
        // While a reading holds the library, the table comes from the last reading, as of its time.
        const std::lock_guard<std::timed_mutex> reading(live.library);
        const json held = get(at_fabric("/api/switch/ports?chassis=1")).doc();
        EXPECT_EQ(false, held["live"]);
        EXPECT_EQ(f["read_at"], held["as_of"]);
        EXPECT_EQ(16u, held["ports"].size());
    }

    for (const std::string path : {"/api/fabric/map.svg", "/api/switch/panel.svg?chassis=1"}) {
        const reply svg = get(at_fabric(path));
        ASSERT_EQ(200, svg.status) << path << svg.body;
        EXPECT_EQ("image/svg+xml", svg.header("Content-Type"));
        EXPECT_THAT(svg.header("Content-Security-Policy"), HasSubstr("script-src 'none'"));
        EXPECT_THAT(svg.body, HasSubstr("<svg"));
    }
}

TEST_F(console_api, texts_from_switches_stay_text) {
    const std::string map = get(at_fabric("/api/fabric/map.svg")).body;
    const std::string panels = get(at_fabric("/api/switch/panel.svg?chassis=1")).body + get(at_fabric("/api/switch/panel.svg?chassis=2")).body;
    for (const std::string& svg : {map, panels}) {
        EXPECT_THAT(svg, HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt;"));
        EXPECT_THAT(svg, HasSubstr("&quot;&gt;&lt;img src=x"));
        EXPECT_THAT(svg, Not(HasSubstr("<script")));
        EXPECT_THAT(svg, Not(HasSubstr("<img")));
    }
    // The JSON carries them as they are: console_browser_test finds them shown as text.
}

TEST_F(console_api, devices_are_found_by_wwn_address_port_and_name) {
    const auto found = [&](const std::string& q) {
        const json d = get(at_fabric("/api/devices?q=" + q)).doc();
        std::vector<std::string> wwns;
        for (const json& w : d["found"]) wwns.push_back(w["device"]["port_wwn"]);
        return wwns;
    };
    const std::vector<std::string> host_a{"21:00:00:00:5e:01:01:01"};
    EXPECT_EQ(host_a, found("21:00:00:00:5e:01:01:01"));
    EXPECT_EQ(host_a, found("210000005e010101"));
    EXPECT_EQ(host_a, found("0x104000"));
    EXPECT_EQ(host_a, found("1:1"));
    EXPECT_EQ(host_a, found("HOST-A%20HBA"));
    EXPECT_TRUE(found("nothing-called-so").empty());
    const json where = get(at_fabric("/api/devices?q=1:1")).doc()["found"][0];
    EXPECT_EQ(1, where["switch"]["chassis"]);
    EXPECT_EQ(json({{"chassis", 1}, {"id", 1}, {"type", "hard"}}), where["zones"][0]);
    EXPECT_EQ(400, get(at_fabric("/api/devices")).status);
}

TEST_F(console_api, zoning_shows_the_lint_findings) {
    const json z = get(at_fabric("/api/zoning")).doc();
    ASSERT_EQ(3u, z["switches"].size());
    EXPECT_EQ("port", z["switches"][0]["zoning"]["ns_zoning"]);
    EXPECT_THAT(z["findings"].dump(), HasSubstr("\"text\":\"wwn zone 1: name-server zoning is by port\""));
}

TEST_F(console_api, an_apply_changes_the_switch_and_the_history_records_it) {
    const telvar::history::time_ms before = telvard::now_ms();
    const json body = {{"confirm", true}, {"zoning", new_zone}};
    const reply applied = call("POST", at_fabric("/api/zoning/apply?chassis=1"), {bearer(admin)}, body.dump());
    ASSERT_EQ(200, applied.status) << applied.body;
    EXPECT_EQ(json::array({"hard zone 9: ports none, disabled -> ports 7 8, enabled"}), applied.doc()["done"]);
    EXPECT_EQ(true, applied.doc()["recorded"]);
    EXPECT_TRUE(preview(new_zone).empty());

    const json history = get(at_fabric("/api/history?kind=zone")).doc();
    ASSERT_EQ(1u, history["changes"].size()) << history.dump();
    EXPECT_EQ("hard 9", history["changes"][0]["key"]);
    EXPECT_EQ(json({{"enabled", true}, {"id", 9}, {"ports", {7, 8}}}), history["changes"][0]["after"]);
    EXPECT_EQ("telvar-events", get(at_fabric("/api/events")).doc()["format"]);
    EXPECT_EQ(400, get(at_fabric("/api/history?kind=nonsense")).status);
    EXPECT_EQ(400, get(at_fabric("/api/history?since=yesterday-ish")).status);

    // The fabric between a time before the apply (to the millisecond) and now differs by the zone.
    const std::string from = telvar::history::time_text(before).insert(19, "." + std::to_string(1000 + before % 1000).substr(1));
    const json diff = get(at_fabric("/api/diff?from=" + from)).doc();
    ASSERT_TRUE(diff.contains("changes")) << diff.dump();
    EXPECT_EQ(false, diff["equal"]);
    EXPECT_THAT(diff["changes"].dump(), HasSubstr("hard zone 9"));
    EXPECT_EQ(400, get(at_fabric("/api/diff?from=soon")).status);
    EXPECT_EQ(400, call("POST", at_fabric("/api/zoning/preview?chassis=1"), {bearer(reader)}, "[1").status);
    EXPECT_EQ(400, call("POST", at_fabric("/api/zoning/preview?chassis=1"), {bearer(reader)}, std::string(100000, '[')).status);
}

TEST_F(console_api, serves_over_tls_with_a_secure_cookie) {
    ASSERT_TRUE(tvtest::make_certificate(folder.path(), tvtest::addr::console_listen)) << "openssl (scripts/deps.sh test)";
    start(http::tls_files{folder.path("cert.pem"), folder.path("key.pem")});
    // A login over TLS sets a cookie that the browser sends back over TLS only. (Plain HTTP to
    // a TLS port is refused in exporter_test.)
    const std::string url = "https://" + std::string(tvtest::addr::console_listen) + ":" + std::to_string(server->port());
    const std::string cookie = tvtest::run_tool("/usr/bin/python3", {"-c",
        "import ssl, sys, urllib.request\n"
        "c = ssl.create_default_context(cafile=sys.argv[2])\n"
        "r = urllib.request.Request(sys.argv[1], data=b'{\"token\": \"" + std::string(reader) + "\"}', method='POST')\n"
        "sys.stdout.write(urllib.request.urlopen(r, timeout=60, context=c).headers['Set-Cookie'])",
        url + "/login", folder.path("cert.pem")}).out;
    EXPECT_THAT(cookie, HasSubstr("; HttpOnly; SameSite=Strict; Path=/"));
    EXPECT_THAT(cookie, HasSubstr("; Secure"));
}

// ---- sessions, failed logins, secrets ----

TEST(console_sessions, sessions_end_and_waits_run_out) {
    using namespace std::chrono_literals;
    C::sessions open(8h);
    const auto t = C::clock::now();
    const auto [id, s] = open.open(C::role::admin, t);
    EXPECT_EQ(64u, id.size());
    EXPECT_NE(id, open.open(C::role::read, t).first);
    ASSERT_TRUE(open.find(id, t + 8h - 1s));
    EXPECT_EQ(s.csrf, open.find(id, t + 8h - 1s)->csrf);
    EXPECT_FALSE(open.find(id, t + 8h));
    // A full table lets the session nearest its end go.
    C::sessions small(8h, 2);
    const auto a = small.open(C::role::read, t).first, b = small.open(C::role::read, t + 1s).first,
               c = small.open(C::role::read, t + 2s).first;
    EXPECT_FALSE(small.find(a, t + 3s));
    EXPECT_TRUE(small.find(b, t + 3s) && small.find(c, t + 3s));

    C::login_limit limit(5, 60s);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(0, limit.wait_s("127.0.54.20", t + std::chrono::seconds(i)));
        limit.failed("127.0.54.20", t + std::chrono::seconds(i));
    }
    EXPECT_EQ(56, limit.wait_s("127.0.54.20", t + 4s));
    EXPECT_EQ(0, limit.wait_s("127.0.54.20", t + 60s));

    // Equal secrets and ones differing in a character are the HTTP tests' (tokens).
    EXPECT_FALSE(C::same_secret("0123456789abcdef", "0123456789abcdef0"));
    EXPECT_FALSE(C::same_secret("", "x"));
}

// ---- the tokens file and the command line ----

TEST(console_tokens, a_tokens_file_is_refused_whole_when_a_line_is_wrong) {
    std::vector<C::token> t;
    std::string why;
    ASSERT_TRUE(C::parse_tokens("# team\nread  0123456789abcdef\n\nadmin\tfedcba9876543210 # ops\n", t, why)) << why;
    ASSERT_EQ(2u, t.size());
    EXPECT_EQ(C::role::admin, t[1].grants);
    EXPECT_EQ("fedcba9876543210", t[1].secret);
    const std::pair<const char*, const char*> bad[] = {
        {"read 0123456789abcdef\nwrite 0123456789abcdef\n", "line 2: 'write' is no role: read or admin"},
        {"read 0123456789abcde\n", "line 1: the token is shorter than 16 characters"},
        {"admin\n", "line 1: expected ROLE TOKEN (ROLE read or admin)"},
        {"read 0123456789abcdef extra\n", "line 1: expected ROLE TOKEN (ROLE read or admin)"},
        {"read 0123456789abcdef\nadmin 0123456789abcdef\n", "line 2: the token is given twice"},
        {"read 0123456789abcd\xc3\xa9\n", "line 1: the token holds a character that is not printable ASCII"},
        {"# nothing\n", "it holds no token"},
    };
    for (const auto& [text, message] : bad) {
        EXPECT_FALSE(C::parse_tokens(text, t, why)) << text;
        EXPECT_EQ(message, why);
    }

    const tvtest::temp_folder folder;
    const std::string file = folder.file("tokens", "admin 0123456789abcdef\n", 0640);
    EXPECT_FALSE(C::read_tokens(file, t, why));
    EXPECT_EQ(file + ": others than its owner may read or change it (mode 0640); chmod 600 " + file, why);
    chmod(file.c_str(), 0600);
    EXPECT_TRUE(C::read_tokens(file, t, why)) << why;
}

TEST(console_tokens, the_console_needs_listen_and_tokens_together) {
    const auto parse = [](std::vector<std::string> words) {
        words.insert(words.begin(), "telvard");
        words.push_back("127.0.54.2");
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        telvard::settings s;
        std::string error;
        bool help = false;
        return telvard::parse(static_cast<int>(argv.size()), argv.data(), s, error, help) ? std::string("ok") : error;
    };
    EXPECT_EQ("ok", parse({"--listen", "127.0.0.1:9470", "--tokens", "t"}));
    EXPECT_EQ("the console needs --tokens FILE", parse({"--listen", "127.0.0.1:9470"}));
    EXPECT_EQ("--listen: '127.0.0.1' is not ADDRESS:PORT (a dotted IPv4 address, a port from 0 to 65535)",
              parse({"--listen", "127.0.0.1", "--tokens", "t"}));
    EXPECT_EQ("--listen: 'localhost:80' is not ADDRESS:PORT (a dotted IPv4 address, a port from 0 to 65535)",
              parse({"--listen", "localhost:80", "--tokens", "t"}));
    EXPECT_EQ("TLS needs both --cert FILE and --key FILE", parse({"--listen", "127.0.0.1:0", "--tokens", "t", "--cert", "c"}));
    EXPECT_EQ("--tokens, --cert and --key are the console's: give --listen ADDR:PORT too", parse({"--tokens", "t"}));
}

}  // namespace
