// Pictures of the fabric, end to end: the tool draws the default fabric and a generated ring of
// 12 switches, live and from snapshots; the SVG is read back as XML (tests/picture_check.py)
// and checked for its switches, links, ports and devices. The README's pictures are checked to
// be current and are looked at in a headless browser.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "switchsim/core/fabric_file.h"
#include "switchsim/core/generated_fabric.h"

namespace {

using tvtest::args;
using nlohmann::json;
using texts = std::multiset<std::string>;
namespace fs = std::filesystem;

const std::string checker = TELVAR_SOURCE_DIR "/tests/picture_check.py";

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

json check(const char* what, const std::string& file) {
    const auto r = tvtest::run_tool("/usr/bin/python3", {checker, what, file});
    EXPECT_EQ(0, r.status) << r.err;
    return r.status == 0 ? json::parse(r.out) : json::object();
}

// The picture's elements with an id: their classes and texts.
struct picture {
    json facts;
    std::set<std::string> ids(const std::string& pattern) const {
        std::set<std::string> out;
        for (auto it = facts.begin(); it != facts.end(); ++it)
            if (std::regex_match(it.key(), std::regex(pattern))) out.insert(it.key());
        return out;
    }
    texts text(const std::string& id) const { return facts.contains(id) ? facts[id]["texts"].get<texts>() : texts{}; }
    bool has(const std::string& id, const std::string& cls_or_text) const {
        if (!facts.contains(id)) return false;
        const auto& c = facts[id]["class"];
        return std::find(c.begin(), c.end(), cls_or_text) != c.end() || text(id).contains(cls_or_text);
    }
    // Devices drawn one by one, and "N devices" of the folded ports.
    std::size_t devices() const {
        std::size_t n = ids("device_.*").size();
        std::smatch m;
        for (const std::string& id : ids("devices_.*"))
            for (const std::string& t : text(id))
                if (std::regex_match(t, m, std::regex("([0-9]+) devices?"))) n += std::stoul(m[1]);
        return n;
    }
};

class pictures : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    static tvtest::tool_result telvar(const args& a) { return tvtest::run_telvar(a, tvtest::local_port::environment); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // Runs a drawing command with -o FILE and reads the picture.
    picture draw(args a) {
        const auto r = telvar(a);
        EXPECT_EQ(0, r.status) << r.err;
        return {check("facts", *(std::find(a.begin(), a.end(), "-o") + 1))};
    }
    json snapshot(const std::string& sw, const std::string& name) {
        EXPECT_EQ(0, telvar({"snapshot", "-o", path(name), sw}).status);
        return json::parse(read_file(path(name)));
    }

    fs::path dir = fs::temp_directory_path() / ("telvar-pictures-" + std::to_string(getpid()));
};

class default_fabric_pictures : public pictures {
protected:
    const std::string sw1 = tvtest::addr::pictures_base;
    tvtest::running_fabric fab{sw1};
};

TEST_F(default_fabric_pictures, map_and_panel_hold_every_switch_link_port_and_device_live_and_from_a_snapshot) {
    ASSERT_EQ(0, telvar({"port_state", "-s", "off", "-f", "108000", sw1, "5"}).status);
    const picture live = draw({"map", "-o", path("live.svg"), sw1});
    snapshot(sw1, "fabric.json");
    draw({"map", "-o", path("saved.svg"), path("fabric.json")});
    EXPECT_EQ(read_file(path("live.svg")), read_file(path("saved.svg")));
    EXPECT_EQ((std::set<std::string>{"switch_1", "switch_2", "switch_3"}), live.ids("switch_.*"));
    EXPECT_TRUE(live.has("switch_2", "chassis 2 - 0x108000") && live.has("switch_1", "firmware 40119a"));
    EXPECT_EQ((std::set<std::string>{"link_1_16_2_1", "link_2_16_3_1"}), live.ids("link_.*"));
    EXPECT_EQ((texts{"16", "1"}), live.text("link_1_16_2_1"));
    // The port set offline, the one that failed and the one switched off in the fabric file.
    EXPECT_TRUE(live.has("port_2_5", "offline") && live.has("port_2_5", "OFFLINE"));
    EXPECT_TRUE(live.has("port_2_7", "failed") && live.has("port_2_7", "FAILED"));
    EXPECT_TRUE(live.has("port_1_14", "offline"));
    // Ports without devices or trouble stay off the map; devices are drawn one by one, by role.
    EXPECT_EQ(12u, live.ids("port_.*").size());
    EXPECT_EQ(14u, live.ids("device_.*").size());
    EXPECT_TRUE(live.has("device_0x1043ef", "initiator") && live.has("device_0x104201", "target"));
    EXPECT_TRUE(live.has("device_0x104000", "host-a HBA port 1"));

    // Panels: every switch by default; one by WWN, chassis number or FC address, in port order.
    EXPECT_EQ(3u, draw({"panel", "-o", path("all.svg"), sw1}).ids("panel_.*").size());
    const picture one = draw({"panel", "-o", path("sw1.svg"), path("fabric.json"), "10:00:00:00:5e:01:00:00"});
    EXPECT_EQ((std::set<std::string>{"panel_1"}), one.ids("panel_.*"));
    EXPECT_EQ(16u, one.ids("port_1_[0-9]+").size());
    EXPECT_EQ((texts{"3", "FL_Port", "admin on, oper on", "optical shortwave", "3 devices"}), one.text("port_1_3"));
    EXPECT_TRUE(one.has("port_1_1", "1 device, 1 initiator") && one.has("port_1_16", "to chassis 2, port 1"));
    EXPECT_TRUE(one.has("port_1_14", "offline") && one.has("port_1_6", "idle") && one.facts.contains("legend"));
    for (const char* same : {"1", "0x104000"}) {
        draw({"panel", "-o", path("same.svg"), path("fabric.json"), same});
        EXPECT_EQ(read_file(path("sw1.svg")), read_file(path("same.svg"))) << same;
    }
}

TEST_F(default_fabric_pictures, a_switch_that_did_not_answer_stands_out) {
    json doc = snapshot(sw1, "fabric.json");
    doc["switches"][2]["status"] = {{"code", 106}, {"message", "No response received"}};
    doc["switches"][2].erase("ports");
    doc["switches"].erase(1);  // chassis 2 is known only from the links that lead to it
    std::ofstream(path("broken.json")) << doc.dump();
    const picture map = draw({"map", "-o", path("map.svg"), path("broken.json")});
    EXPECT_EQ(3u, map.ids("switch_.*").size());
    EXPECT_TRUE(map.has("switch_3", "unreachable") && map.has("switch_3", "No response received"));
    EXPECT_TRUE(map.has("switch_2", "not in the snapshot"));
    EXPECT_FALSE(map.has("switch_1", "unreachable"));
    EXPECT_EQ(2u, map.ids("link_.*").size());
    const picture panel = draw({"panel", "-o", path("panel.svg"), path("broken.json"), "3"});
    EXPECT_TRUE(panel.has("panel_3", "unreachable") && panel.has("panel_3", "ports not read"));
}

TEST_F(default_fabric_pictures, bad_input_gets_a_reason_and_a_status) {
    const json good = snapshot(sw1, "fabric.json");
    const std::vector<std::pair<std::function<void(json&)>, std::string>> spoiled{
        {[](json& d) { d["switches"][0]["ports"].push_back(d["switches"][0]["ports"][0]); },
         "chassis 1: a port without a number of its own (1 to 24)"},
        {[](json& d) { d["switches"][1]["chassis"] = "2"; }, "a switch without a chassis number (0 to 63)"},
        {[](json& d) { d["switches"][0]["ports"][2]["devices"] = std::vector<std::string>(127, "0x104201"); },
         "chassis 1 port 3 lists more devices than a port holds"},
        {[](json& d) { d["switches"][1]["ports"][1]["devices"] = {"0x104000"}; }, "device 0x104000 is listed twice"},
        {[](json& d) { d["switches"] = {{{"status", {{"code", 106}}}}}; }, "no switch of the fabric was read"},
    };
    std::vector<std::tuple<args, int, std::string>> refused{
        {{"panel", path("fabric.json"), "sw1"}, 1, "'sw1' is not a chassis number, an FC address (0x...) or a WWN"},
        {{"panel", path("fabric.json"), "9"}, 1, "no switch 9 in the fabric"},
        {{"map", "-o", path("none/map.svg"), path("fabric.json")}, 2, "cannot write " + path("none/map.svg") + ": No such file or directory"},
        {{"map", "127.0.140.9"}, 2, "127.0.140.9: No response received"},  // nobody there
    };
    for (std::size_t i = 0; i < spoiled.size(); ++i) {
        json d = good;
        spoiled[i].first(d);
        const std::string file = path("bad" + std::to_string(i) + ".json");
        std::ofstream(file) << d.dump();
        refused.push_back({{"map", file}, 2, file + ": " + spoiled[i].second});
    }
    for (const auto& [a, status, why] : refused) {
        const auto r = telvar(a);
        EXPECT_EQ(status, r.status) << why;
        EXPECT_EQ("telvar: " + a[0] + ": " + why + "\n", r.err);
    }
    const auto r = tvtest::run_tool("/usr/bin/env", {"-i", "PATH=/nonexistent", TELVAR_BIN, "map", path("fabric.json")});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("telvar: map: cannot run dot (Graphviz): No such file or directory\n", r.err);
}

// A ring of 12 switches with 1,000 devices: 6 or so on a port, folded into counts.
class ring_pictures : public pictures {
protected:
    static sim::fabric ring() {
        std::string why;
        auto f = sim::parse_fabric(sim::generated_fabric_json({12, 1000}), why);
        if (!f) throw std::runtime_error(why);
        sim::move_addresses(*f, inet_addr(tvtest::addr::pictures_ring_base));
        return std::move(*f);
    }
    const std::string sw1 = tvtest::addr::pictures_ring_base;
    tvtest::running_fabric fab{ring()};
};

TEST_F(ring_pictures, the_map_holds_twelve_switches_twelve_links_and_every_device_counted) {
    ASSERT_EQ(0, telvar({"port_state", "-s", "off", "-f", "114000", sw1, "9"}).status);  // chassis 5
    const std::size_t logged_in = snapshot(sw1, "ring.json")["name_server"]["devices"].size();
    const picture map = draw({"map", "-o", path("ring.svg"), path("ring.json")});
    EXPECT_EQ(12u, map.ids("switch_.*").size());
    std::set<std::string> links{"link_1_1_12_2"};
    for (int k = 1; k < 12; ++k) links.insert("link_" + std::to_string(k) + "_2_" + std::to_string(k + 1) + "_1");
    EXPECT_EQ(links, map.ids("link_.*"));
    for (const std::string& id : links) EXPECT_EQ((texts{"1", "2"}), map.text(id)) << id;
    EXPECT_TRUE(map.has("port_5_9", "offline") && map.has("port_5_9", "OFFLINE"));
    EXPECT_GT(logged_in, 900u);
    EXPECT_EQ(0u, map.ids("device_.*").size());
    EXPECT_EQ(logged_in, map.devices());
    EXPECT_TRUE(map.has("devices_1_3", "1 initiator, 5 targets"));
    EXPECT_EQ(logged_in, draw({"map", "--devices", "-o", path("all.svg"), path("ring.json")}).ids("device_.*").size());

    const picture panel = draw({"panel", "-o", path("panel.svg"), path("ring.json"), "5"});
    EXPECT_TRUE(panel.has("port_5_9", "offline") && panel.has("port_5_2", "to chassis 6, port 1"));
}

// The README's pictures, drawn again from the default fabric by the script of `make pictures`,
// are the ones committed.
TEST_F(pictures, the_readme_pictures_are_current) {
    const fs::path committed = TELVAR_SOURCE_DIR "/docs/pictures";
    // Another version of Graphviz lays out otherwise: the pictures are compared only when
    // the committed map was drawn by the one installed.
    const auto dot = tvtest::run_tool("/usr/bin/env", {"dot", "-V"});
    const std::size_t at = dot.err.find("version ");
    const std::string version = at == std::string::npos ? "?" : dot.err.substr(at, dot.err.find('\n') - at);
    if (read_file(committed / "fabric-map.svg").find("graphviz " + version) == std::string::npos)
        GTEST_SKIP() << "the committed map was drawn by another Graphviz than " << version;
    const auto r = tvtest::run_tool(TELVAR_SOURCE_DIR "/scripts/pictures.sh",
                                    {fs::path(TELVAR_BIN).parent_path().string(), dir.string(), tvtest::addr::pictures_readme_base});
    ASSERT_EQ(0, r.status) << r.out << r.err;
    for (const char* name : {"fabric-map.svg", "panel-sw1.svg"})
        EXPECT_TRUE(read_file(committed / name) == read_file(dir / name)) << name << " is not current: run make pictures";
}

// A browser draws them: headless Chromium's screenshot of each is not blank.
TEST_F(pictures, the_readme_pictures_show_in_a_browser) {
    if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed";
    for (const std::string name : {"fabric-map.svg", "panel-sw1.svg"}) {
        const std::string png = path(name + ".png");
        const auto shot = tvtest::run_tool(
            "/usr/bin/chromium",
            {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--no-first-run", "--hide-scrollbars", "--user-data-dir=" + path("profile"),
             "--window-size=800,600", "--screenshot=" + png, "file://" TELVAR_SOURCE_DIR "/docs/pictures/" + name});
        ASSERT_EQ(0, shot.status) << shot.err;
        const json v = check("variety", png);
        std::printf("%s in a browser: %s\n", name.c_str(), v.dump().c_str());
        EXPECT_EQ(800, v["width"]);
        EXPECT_GE(v["colours"].get<int>(), 16) << name;        // text, outlines and fills
        EXPECT_LE(v["dominant"].get<double>(), 0.95) << name;  // not a page of one colour
    }
}

}  // namespace
