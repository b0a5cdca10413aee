// The fabric as data, end to end: the tool's JSON documents against the schema, snapshots and
// their diff, the locator, zoning lint and zoning apply, against the default fabric run in
// this process.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "telvar/data/json_records.h"
#include "tv_api/tv_inter.h"

namespace {

using tvtest::args;
using nlohmann::json;
namespace fs = std::filesystem;

const std::string sw1 = tvtest::addr::data_base;  // sw2 .3, sw3 .4
const std::string sw3 = "127.0.110.4";

// Its lines, in any order.
std::set<std::string> line_set(const std::string& text) {
    const auto lines = tvtest::lines_of(text);
    return {lines.begin(), lines.end()};
}

class data_cmds : public tvtest::tool_test, public tvtest::temp_folder {
protected:
    explicit data_cmds(sim::server_options o = {}, const std::string& base = sw1)
        : tool_test(base, tvtest::local_port::environment, std::move(o)), ip(base) {}

    json snapshot(const std::string& name) {
        const auto r = telvar({"snapshot", "-o", path(name), ip});
        EXPECT_EQ(0, r.status) << r.err;
        return json::parse(tvtest::read_file(path(name)));
    }
    void write(const std::string& name, const json& doc) { std::ofstream(path(name)) << doc.dump(); }

    std::string ip;  // the fabric's first switch
};

TEST(json_text_forms, wwn_and_fc_address_texts_are_read_back_and_bad_ones_refused) {
    namespace J = telvar::json;
    const auto w = J::parse_wwn("10:00:00:00:5E:01:00:00");
    ASSERT_TRUE(w);
    EXPECT_EQ("10:00:00:00:5e:01:00:00", J::wwn_text(w->data()));
    EXPECT_EQ(w, J::parse_wwn("100000005e010000"));
    for (const char* bad : {"", "10:00:00:00:5e:01:00", "10-00-00-00-5e-01-00-00", "100000005e01000g", "10:00:00:00:5e:01:00:0000"})
        EXPECT_FALSE(J::parse_wwn(bad)) << bad;
    EXPECT_EQ(0x104100u, J::parse_fc_address("0x104100"));
    EXPECT_EQ("0x00ab01", J::fc_address_text(*J::parse_fc_address("ab01")));
    for (const char* bad : {"", "0x", "1234567", "0x10410g"}) EXPECT_FALSE(J::parse_fc_address(bad)) << bad;
}

// The records a snapshot writes as text come out as nlohmann-json writes them (key order,
// escapes, texts that are not UTF-8), and say what the text reports say.
TEST(json_text_forms, records_written_as_text_are_in_the_document_form) {
    namespace J = telvar::json;
    const auto same_form = [](const std::string& text) {
        EXPECT_EQ(json::parse(text).dump(-1, ' ', false, json::error_handler_t::replace), text);
    };
    tv_nameserver_entry e{};
    e.port = 2;
    e.port_id = 0x104201;
    e.port_type = 0x02;
    e.fc4_types[0] = 1u << 8;
    e.fc4_types[7] = 1u << 31;
    std::memset(e.port_symname, 'a', sizeof e.port_symname);  // 255 characters, no terminator
    std::strcpy(e.node_symname, "say \"hi\"\\\t\x01 caf\xc3\xa9 \xff!");
    std::string text;
    J::put_device(text, e);
    same_form(text);
    json d = json::parse(text);
    EXPECT_EQ(std::string(255, 'a'), d["port_name"]);
    EXPECT_EQ("say \"hi\"\\\t\x01 caf\xc3\xa9 \xef\xbf\xbd!", d["node_name"]);
    EXPECT_EQ((json{8, 255}), d["fc4_types"]);
    EXPECT_EQ("NL", d["type"]);
    EXPECT_EQ(3, d["port"]);
    e.port_type = 0x7F;
    EXPECT_EQ("unrecognized (127)", J::of(e)["type"]);

    tv_port_counters c{};
    for (int w = 0; w < TV_PORT_COUNTER_WORDS; ++w) c.counter[w] = 4000000000u + static_cast<std::uint32_t>(w);
    text.clear();
    J::put_counters(text, c);
    same_form(text);
    EXPECT_EQ(38u, json::parse(text).size());
    EXPECT_EQ(4000000010u, json::parse(text)["crc_errs"]);

    // What is attached to a port: by type, only once it is up with something logged in; a
    // WWN that was not found is null, loop arrays that are missing list no device.
    const auto attached = [](const tv_port_status& st) {
        std::string t;
        J::put_attached(t, st);
        return t;
    };
    tv_port_status st{};
    st.type = TV_PORT_TYPE_F;
    st.operational = TV_PORT_STATE_ON;
    st.logged_in = 1;
    st.f_port.port_id = 0x104000;
    st.f_port.port_wwn[0] = 0x21;
    EXPECT_EQ(R"({"device":{"fc_address":"0x104000","node_wwn":null,"port_wwn":"21:00:00:00:00:00:00:00"},"logged_in":true})",
              attached(st));
    st.operational = TV_PORT_STATE_OFF;
    EXPECT_EQ(R"({"logged_in":true})", attached(st));
    tv_port_status loop{};
    loop.type = TV_PORT_TYPE_FL;
    loop.logged_in = 1;
    loop.loop.count = 1;
    loop.loop.address = 0x01;
    EXPECT_EQ(R"({"logged_in":true,"loop":{"address":1,"devices":[]}})", attached(loop));
    std::uint8_t alpas[1] = {0xE8}, port_wwns[1][8] = {{0x21, 0, 0, 0, 0, 0, 0, 1}}, node_wwns[1][8] = {};
    loop.loop.alpas = alpas;
    loop.loop.port_wwns = port_wwns;
    loop.loop.node_wwns = node_wwns;
    EXPECT_EQ(R"({"logged_in":true,"loop":{"address":1,"devices":[{"alpa":232,"node_wwn":null,"port_wwn":"21:00:00:00:00:00:00:01"}]}})",
              attached(loop));
    // A T_Port's neighbour: the snapshot's port 16 in the ports' test below.
}

// Every report with a JSON form, each document validated against the schema in one run.
TEST_F(data_cmds, every_json_document_validates_against_the_schema) {
    const std::vector<std::pair<std::string, args>> reports{
        {"version", {"version", sw1}},
        {"chassis_status_report", {"chassis_status", sw1}},
        {"chassis_mode", {"chassis_mode", sw1}},
        {"chassis_tovs", {"chassis_tovs", sw1}},
        {"initiators", {"initiators", sw1}},
        {"links", {"links", sw1}},
        {"nameserver", {"nameserver", sw1}},
        {"port_state", {"port_state", sw1, "all"}},
        {"port_type", {"port_type", sw1, "3"}},
        {"get_zone", {"get_zone", sw1, "hd", "all"}},
        {"get_zone", {"get_zone", "-s", sw1, "ns", "17"}},
        {"ns_zone_type", {"ns_zone_type", sw1}},
        {"get_wwn_zone", {"get_wwn_zone", sw1}},
        {"get_trap_config", {"get_trap_config", sw1}},
        {"port_status", {"port_status", "-a", sw1, "all"}},
        {"port_counts", {"port_counts", sw1, "all"}},
        {"test_status", {"test_status", sw1, "all"}},
        {"port_steering", {"port_steering", sw1, "all"}},
        {"port_mfs_mode", {"port_mfs_mode", sw1, "3"}},
        {"discover", {"discover", "127.0.110.1", "4"}},
        {"smlget", {"smlget", sw1, "show", "port", "3"}},
        {"locate", {"locate", sw1, "0x104100"}},
        {"zone_lint", {"zone_lint", sw1}},
    };
    args validate{TELVAR_SOURCE_DIR "/docs/telvar.schema.json"};
    for (std::size_t i = 0; i < reports.size(); ++i) {
        args a{"--json"};
        a.insert(a.end(), reports[i].second.begin(), reports[i].second.end());
        const auto r = telvar(a);
        EXPECT_LE(r.status, 1) << a[1] << ": " << r.err;  // zone_lint finds something: 1
        EXPECT_EQ("", r.err) << a[1];
        const std::string file = path("doc" + std::to_string(i) + ".json");
        std::ofstream(file) << r.out;
        validate.push_back(reports[i].first + "=" + file);
    }
    snapshot("a.json");
    validate.push_back("snapshot=" + path("a.json"));
    const auto d = telvar({"--json", "diff", path("a.json"), path("a.json")});
    std::ofstream(path("diff.json")) << d.out;
    validate.push_back("diff=" + path("diff.json"));
    write("zones.json", {{"hard", json::array()}});
    const auto z = telvar({"--json", "zone_apply", "--dry-run", sw1, path("zones.json")});
    std::ofstream(path("apply.json")) << z.out;
    validate.push_back("zone_apply=" + path("apply.json"));

    validate.insert(validate.begin(), TELVAR_SOURCE_DIR "/tests/validate_json.py");
    const auto checked = tvtest::run_tool("/usr/bin/python3", validate);
    if (checked.status == 77 || checked.status == 127) GTEST_SKIP() << "python3-jsonschema is not installed";
    EXPECT_EQ(0, checked.status) << checked.out << checked.err;
}

TEST_F(data_cmds, a_failed_report_is_a_document_too_and_changes_are_refused) {
    auto r = telvar({"--json", "version", "127.0.110.9"});  // nobody there
    EXPECT_EQ(2, r.status);
    EXPECT_EQ(106, json::parse(r.out)["status"]["code"]);
    r = telvar({"--json", "port_state", "-s", "off", sw1, "7"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    r = telvar({"--json", "switch_reset", sw1});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("telvar: --json: 'switch_reset' has no JSON form\n", r.err);
}

TEST_F(data_cmds, diff_names_exactly_a_port_and_a_zone_that_changed) {
    const json a = snapshot("a.json");
    ASSERT_EQ(0, telvar({"port_state", "-s", "off", sw1, "7"}).status);
    ASSERT_EQ(0, telvar({"set_zone", "-e", sw1, "hd", "3", "7", "8"}).status);
    snapshot("b.json");
    auto r = telvar({"diff", path("a.json"), path("b.json")});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("switch 10:00:00:00:5e:01:00:00 (chassis 1) port 7: admin on -> off, operational on -> off\n"
              "switch 10:00:00:00:5e:01:00:00 (chassis 1) hard zone 3: added: enabled true, ports 7 8\n",
              r.out);
    r = telvar({"diff", path("a.json"), path("a.json")});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out);
    // A device that moved, one that left, a switch that left; a file that is no snapshot.
    json c = a;
    json& devices = c["name_server"]["devices"];
    devices[0]["fc_address"] = "0x104600";
    devices[0]["port"] = 7;
    devices.erase(1);
    c["switches"].erase(2);
    write("c.json", c);
    r = telvar({"diff", path("a.json"), path("c.json")});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(line_set("switch 10:00:00:00:5e:03:00:00 (chassis 3): left the fabric\n"
                       "device 21:00:00:00:5e:01:02:01: logged out from chassis 1 port 2 (0x104100)\n"
                       "device 21:00:00:00:5e:01:01:01: moved from chassis 1 port 1 (0x104000) to chassis 1 port 7 (0x104600)\n"),
              line_set(r.out));
    // Counters move on their own and are compared with --all only; what is attached to a
    // port is the name server's and the links' to say.
    json e = a;
    json& port1 = e["switches"][0]["ports"][0];
    port1["counters"]["crc_errs"] = port1["counters"]["crc_errs"].get<int>() + 3;
    port1["attached"] = {{"logged_in", false}};
    write("e.json", e);
    EXPECT_EQ(0, telvar({"diff", path("a.json"), path("e.json")}).status);
    r = telvar({"diff", "--all", path("a.json"), path("e.json")});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("switch 10:00:00:00:5e:01:00:00 (chassis 1) port 1: counters: crc_errs 0 -> 3\n", r.out);
    write("d.json", {{"format", {5}}, {"switches", json::array()}});  // a format that is not text
    r = telvar({"diff", path("a.json"), path("d.json")});
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos, r.err.find("both files must be snapshots")) << r.err;
    EXPECT_EQ(2, telvar({"diff", path("a.json"), path("none.json")}).status);
    // Hand-made snapshots: a switch without its status reads as answering; a switch that is a
    // number, a WWN that is not text or a chassis that is a fraction is refused naming the
    // member, an identity that is not an object with the reader's words; never a crash.
    json f = a;
    f["switches"][1].erase("status");
    write("f.json", f);
    r = telvar({"diff", path("a.json"), path("f.json")});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("switch 10:00:00:00:5e:02:00:00 (chassis 2): answers again\n", r.out);
    json fraction = a;
    fraction["switches"][0]["chassis"] = 3.3e126;
    const std::pair<json, std::string> refused[] = {
        {json{{"format", "telvar-snapshot"}, {"switches", {5}}}, "g.json: switches[0] is not an object"},
        {json{{"format", "telvar-snapshot"}, {"switches", {{{"identity", {{"wwn", 7}}}}}}},
         "g.json: switches[0].identity.wwn is not a string"},
        {fraction, "g.json: switches[0].chassis is not an integer"},
        {json{{"format", "telvar-snapshot"}, {"switches", {{{"identity", 7}}}}}, "a snapshot holds a value of the wrong kind"},
    };
    for (const auto& [bad, why] : refused) {
        write("g.json", bad);
        r = telvar({"diff", path("a.json"), path("g.json")});
        EXPECT_EQ(2, r.status) << bad;
        EXPECT_NE(std::string::npos, r.err.find(why)) << r.err;
    }
}

// The fabric of the tests of the ports' status and counters, on addresses of their own.
class data_cmds_ports : public data_cmds {
protected:
    explicit data_cmds_ports(sim::server_options o = {}) : data_cmds(std::move(o), tvtest::addr::data_ports_base) {}
};

// The ports of a snapshot carry what is attached to them, as port_status reports it, from one
// walk of the name server: the devices of loops are not looked up again one by one.
TEST_F(data_cmds_ports, snapshot_ports_carry_what_is_attached_as_port_status_reports_it) {
    fab.server().clear_records();
    const json a = snapshot("a.json");
    std::size_t name_server_queries = 0;
    for (const auto& r : fab.requests())
        if (tv::wire::get_be16(r, tv::off::command) == TV_CMD_NAME_SERVER) ++name_server_queries;
    const std::size_t devices = a["name_server"]["devices"].size();
    EXPECT_LE(name_server_queries, 2 * (devices + 1));
    const std::string ip2 = "127.0.150.3";
    for (const std::size_t sw : {0, 1}) {
        const json report = json::parse(telvar({"--json", "port_status", sw == 0 ? ip : ip2, "all"}).out);
        const json& ports = a["switches"][sw]["ports"];
        ASSERT_EQ(report["ports"].size(), ports.size());
        for (std::size_t i = 0; i < ports.size(); ++i) {
            EXPECT_EQ(report["ports"][i]["attached"], ports[i]["attached"]) << "switch " << sw + 1 << " port " << i + 1;
            EXPECT_EQ(38u, ports[i]["counters"].size());
        }
    }
    const json& ports = a["switches"][0]["ports"];
    EXPECT_EQ((json{{"fc_address", "0x108000"}, {"ip", ip2}, {"wwn", "10:00:00:00:5e:02:00:00"}}),
              ports[15]["attached"]["switch"]);
    EXPECT_EQ("21:00:00:00:5e:01:03:02", ports[2]["attached"]["loop"]["devices"][1]["port_wwn"]);
    // port_status -a: the SL zone of port 4 has lost the ALPAs of its devices, the other not.
    const json report = json::parse(telvar({"--json", "port_status", "-a", ip, "all"}).out);
    for (const json& zone : report["available_alpas"]) {
        const bool port4 = zone["ports"] == json{4};
        for (const int alpa : {0x01, 0xEF})
            EXPECT_NE(port4, std::find(zone["alpas"].begin(), zone["alpas"].end(), alpa) != zone["alpas"].end());
    }
}

TEST_F(data_cmds, locate_finds_every_device_of_the_name_server) {
    const json a = snapshot("a.json");
    for (const json& d : a["name_server"]["devices"]) {
        const std::string wwn = d["port_wwn"];
        const auto r = telvar({"--json", "locate", "--snapshot", path("a.json"), wwn});
        ASSERT_EQ(0, r.status) << wwn << r.err;
        const json found = json::parse(r.out)["found"];
        ASSERT_EQ(1u, found.size()) << wwn;
        EXPECT_EQ(d, found[0]["device"]);
        EXPECT_EQ(d["chassis"], found[0]["switch"]["chassis"]);
    }
    auto r = telvar({"locate", sw1, "0x104000"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("device:  21:00:00:00:5e:01:01:01 (node 20:00:00:00:5e:01:01:01) at 0x104000\n"
              "switch:  10:00:00:00:5e:01:00:00, chassis 1 (0x104000)\n"
              "port:    1 F_Port\n"
              "zones:   hard 1, name_server 1, broadcast 0, wwn 1, wwn 40\n",
              r.out);
    r = telvar({"locate", "--snapshot", path("a.json"), "21:00:00:00:5e:0f:0f:0f"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("telvar: locate: 21:00:00:00:5e:0f:0f:0f is not logged in to the fabric\n", r.err);
}

TEST_F(data_cmds, zone_lint_finds_planted_problems_and_nothing_else) {
    const std::string sw = "chassis 1: ";
    const std::set<std::string> baseline{
        sw + "zone_of_disabled_type: wwn zone 1: name-server zoning is by port",
        sw + "zone_of_disabled_type: wwn zone 40: name-server zoning is by port",
        "chassis 2: device_in_no_zone: device 0x108100 on port 2 is in no zone",
        "chassis 2: device_in_no_zone: device 0x108201 on port 3 is in no zone",
        "chassis 2: device_in_no_zone: device 0x108202 on port 3 is in no zone",
        "chassis 3: device_in_no_zone: device 0x10c100 on port 2 is in no zone"};
    auto r = telvar({"zone_lint", sw1});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(baseline, line_set(r.out));
    // A zone of an empty port and of an offline one, a device named by port and node WWN, a
    // type with every zone disabled.
    ASSERT_EQ(0, telvar({"set_zone", "-e", sw1, "hd", "5", "10", "14"}).status);
    ASSERT_EQ(0, telvar({"set_wwn_zone", "-i", sw1, "1", "200000005e010201"}).status);
    ASSERT_EQ(0, telvar({"disable_zone_type", sw1, "bcst"}).status);
    std::set<std::string> expected = baseline;
    expected.insert({sw + "no_logged_in_member: hard zone 5: no member is logged in",
                     sw + "member_on_offline_port: hard zone 5: port 14 is off",
                     sw + "duplicate_member: wwn zone 1: 20:00:00:00:5e:01:02:01 names a device already named",
                     sw + "zone_of_disabled_type: broadcast zone 0: no broadcast zone is enabled",
                     // port 5's device was zoned by broadcast zone 0 alone
                     sw + "device_in_no_zone: device 0x1044e8 on port 5 is in no zone"});
    r = telvar({"zone_lint", sw1});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(expected, line_set(r.out));
    snapshot("a.json");
    EXPECT_EQ(expected, line_set(telvar({"zone_lint", "--snapshot", path("a.json")}).out));
}

TEST_F(data_cmds, zone_apply_changes_once_then_finds_nothing_to_change) {
    const json want = {{"zoning",
                        {{"hard", {{{"id", 1}, {"ports", {1, 2, 3}}}, {{"id", 2}, {"enabled", false}, {"ports", {5, 6}}}, {{"id", 4}, {"ports", {9, 10}}}}},
                         {"wwn", {{{"wwn", "21:00:00:00:5e:01:01:01"}, {"zones", {1, 41}}}, {{"wwn", "210000005e010201"}, {"zones", {1}}}}}}}};
    write("want.json", want);
    const std::string plan =
        "zoning of 10:00:00:00:5e:01:00:00: plan\n"
        "  hard zone 4: ports none, disabled -> ports 9 10, enabled\n"
        "  wwn 21:00:00:00:5e:01:01:01: joins zone 41\n"
        "  wwn 21:00:00:00:5e:01:01:01: leaves zone 40\n";
    auto r = telvar({"zone_apply", "--dry-run", sw1, path("want.json")});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(plan, r.out);
    r = telvar({"zone_apply", "-s", sw1, path("want.json")});
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_EQ(plan + "SUCCESS\n", r.out);
    r = telvar({"zone_apply", sw1, path("want.json")});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("zoning of 10:00:00:00:5e:01:00:00: nothing to change\n", r.out);
    // A whole snapshot gives the zoning of the addressed switch: sw1's, unchanged since.
    snapshot("a.json");
    EXPECT_EQ(0, telvar({"zone_apply", sw1, path("a.json")}).status);
    // A bad file changes nothing.
    fab.server().clear_records();
    write("bad.json", {{"hard", {{{"id", 3}, {"ports", {1, 99}}}}}});
    r = telvar({"zone_apply", sw1, path("bad.json")});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("telvar: zone_apply: " + path("bad.json") + ": hard zone 3: ports run from 1 to 16\n", r.err);
    for (const std::uint32_t sub : fab.subcommands()) EXPECT_NE(0x3Au, sub);  // no hard-zone write
}

// Bad documents are refused whole, with a reason naming the file and the fault, status 2 and
// nothing sent that changes the switch; the loader's limits hold for every reader.
TEST_F(data_cmds, bad_documents_are_refused_before_anything_is_applied) {
    struct bad_document {
        std::string name;    // a file written in the test's folder
        std::string text;    // its content, when written
        std::string reason;  // after "FILE: " on standard error
        bool any_reader;     // refused by the loader itself, so by diff too
    };
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    const std::vector<bad_document> table = {
        {"enabled.json", R"({"hard": [{"id": 1, "enabled": "yes", "ports": [1]}]})", "hard[0].enabled: a true or false", false},
        {"ports_number.json", R"({"hard": [{"id": 1, "ports": 5}]})", "hard[0].ports: a list of port numbers", false},
        {"port_text.json", R"({"name_server": [{"id": 2, "ports": ["3"]}]})", "name_server[0].ports[0]: an integer", false},
        {"id_text.json", R"({"hard": [{"id": "1", "ports": [1]}]})", "hard[0].id: an integer from 0 to 15", false},
        {"twice.json", R"({"hard": [{"id": 1, "ports": [1]}, {"id": 1, "ports": [2]}]})", "hard: zone 1 appears twice", false},
        {"wwn_zones.json", R"({"wwn": [{"wwn": "210000005e010101", "zones": 4}]})", "wwn[0].zones: a list of zone ids", false},
        {"format.json", R"({"format": 5, "hard": [{"id": 1, "enabled": 1}]})", "hard[0].enabled: a true or false", false},
        {"deep.json", deep, "nested deeper than 64 levels", true},
        {"big.json", "", "larger than 33554432 bytes", true},
        {"fifo", "", "not a regular file", true},
    };
    snapshot("good.json");
    for (const bad_document& d : table) {
        SCOPED_TRACE(d.name);
        const std::string file = path(d.name);
        if (d.name == "big.json") {
            std::ofstream(file).put('{');
            fs::resize_file(file, (32u << 20) + 1);  // sparse: nothing written but the first byte
        } else if (d.name == "fifo") {
            ASSERT_EQ(0, mkfifo(file.c_str(), 0600));
        } else {
            std::ofstream(file) << d.text;
        }
        fab.server().clear_records();
        auto r = telvar({"zone_apply", sw1, file});
        EXPECT_EQ(2, r.status);
        EXPECT_EQ("telvar: zone_apply: " + file + ": " + d.reason + "\n", r.err);
        EXPECT_EQ("", r.out);
        for (const std::uint32_t sub : fab.subcommands()) EXPECT_NE(0x3Au, sub);  // no hard-zone write
        if (!d.any_reader) continue;
        for (const args& a : {args{"diff", file, path("good.json")}, args{"diff", path("good.json"), file}}) {
            r = telvar(a);
            EXPECT_EQ(2, r.status);
            EXPECT_EQ("telvar: diff: " + file + ": " + d.reason + "\n", r.err);
        }
    }
}

// A switch that stops answering in the middle of its record keeps its status, and the walk goes on.
class data_cmds_silent_chassis : public data_cmds {
protected:
    data_cmds_silent_chassis() : data_cmds(tvtest::with_faults({"drop,cmd=0x12"})) {}
};

TEST_F(data_cmds_silent_chassis, a_switch_that_fails_is_recorded_and_the_walk_goes_on) {
    const auto r = telvar({"snapshot", "-o", path("a.json"), sw1});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("telvar: snapshot: 3 switch(es) did not answer fully: see their status\n", r.err);
    const json doc = json::parse(tvtest::read_file(path("a.json")));
    ASSERT_EQ(3u, doc["switches"].size());
    for (const json& sw : doc["switches"]) {
        EXPECT_EQ(106, sw["status"]["code"]);
        EXPECT_TRUE(sw.contains("links"));
        EXPECT_FALSE(sw.contains("ports"));
    }
    EXPECT_EQ(14u, doc["name_server"]["devices"].size());
}

}  // namespace
