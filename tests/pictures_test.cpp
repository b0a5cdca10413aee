// Pictures of the fabric, end to end: the tool draws the default fabric and a generated ring of
// 12 switches and 10,000 devices, live and from snapshots; the SVG is read back as XML
// (tests/picture_check.py) and checked for its switches, links, ports and devices, and for its
// size, its smallest text and the room around the link labels. The README's pictures are
// checked to be current (the web console's browser test shows the map and the panel in Chromium).
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "telvar/pictures/fabric_picture.h"

namespace {

using tvtest::args;
using nlohmann::json;
using texts = std::multiset<std::string>;
namespace fs = std::filesystem;

using tvtest::read_file;

const std::string checker = TELVAR_SOURCE_DIR "/tests/picture_check.py";

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
    // Devices drawn one by one, and the counts of folded ports or of the overview's switches.
    std::size_t devices() const {
        std::size_t n = ids("device_.*").size();
        std::smatch m;
        for (const std::string& id : ids("devices_.*|switch_.*"))
            for (const std::string& t : text(id))
                if (std::regex_match(t, m, std::regex("([0-9]+) devices?(:.*)?"))) n += std::stoul(m[1]);
        return n;
    }
    bool overview() const {
        for (const std::string& t : text("fabric_map"))
            if (t.starts_with("Overview of ")) return true;
        return false;
    }
};

// What a screen shows of a picture: its size in pixels, its smallest text there, and the link
// labels that an edge crosses.
struct geometry {
    explicit geometry(const std::string& file) : g(check("geometry", file)) {}
    json g;
    double width() const { return g.value("width", 0.0); }
    double height() const { return g.value("height", 0.0); }
    double smallest_text_at_1600() const { return g.value("smallest_text_at_1600", 0.0); }
    std::vector<std::string> crossed() const { return g.value("crossed", std::vector<std::string>{"?"}); }
    // How far each switch is from the middle of them all, the nearest over the farthest.
    double roundness() const {
        double x = 0, y = 0, near = 1e9, far = 0;
        const json& s = g["switches"];
        for (const auto& c : s) x += c[0].get<double>() / s.size(), y += c[1].get<double>() / s.size();
        for (const auto& c : s) {
            const double d = std::hypot(c[0].get<double>() - x, c[1].get<double>() - y);
            near = std::min(near, d), far = std::max(far, d);
        }
        return far > 0 ? near / far : 0;
    }
    std::size_t rows() const {
        std::set<long> ys;
        for (const auto& c : g["switches"]) ys.insert(std::lround(c[1].get<double>()));
        return ys.size();
    }
};

class pictures : public ::testing::Test, public tvtest::temp_folder {
protected:
    static tvtest::tool_result telvar(const args& a) { return tvtest::run_telvar(a, tvtest::local_port::environment); }
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
    // A line of three switches is drawn whole, across a landscape screen, its text readable.
    EXPECT_FALSE(live.overview());
    const geometry shown(path("live.svg"));
    EXPECT_LE(shown.width(), 1600);
    EXPECT_LE(shown.height(), 1200);
    EXPECT_GE(shown.smallest_text_at_1600(), 12);
    EXPECT_EQ(std::vector<std::string>{}, shown.crossed());

    // Panels: every switch by default; one by WWN, chassis number or FC address, in port order.
    EXPECT_EQ(3u, draw({"panel", "-o", path("all.svg"), sw1}).ids("panel_.*").size());
    const picture one = draw({"panel", "-o", path("sw1.svg"), path("fabric.json"), "10:00:00:00:5e:01:00:00"});
    EXPECT_EQ((std::set<std::string>{"panel_1"}), one.ids("panel_.*"));
    EXPECT_EQ(16u, one.ids("port_1_[0-9]+").size());
    EXPECT_EQ((texts{"3", "FL_Port", "admin on, oper on", "optical shortwave", "3 devices: all targets"}), one.text("port_1_3"));
    EXPECT_TRUE(one.has("port_1_1", "1 device: an initiator") && one.has("port_1_16", "to chassis 2, port 1"));
    EXPECT_TRUE(one.has("port_1_5", "1 device: a target") && one.has("port_1_14", "OFFLINE"));
    const geometry panel(path("sw1.svg"));
    EXPECT_LE(panel.width(), 1600);
    EXPECT_GE(panel.smallest_text_at_1600(), 12);
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

// A ring of 12 switches with 10,000 devices: drawn as an overview, a ring that fits a screen.
class ring_pictures : public pictures {
protected:
    // The snapshot with the link between chassis `a` and `b` taken out or, `port` given, put in.
    static json relinked(json doc, int a, int b, int port = 0) {
        for (json& sw : doc["switches"])
            for (const auto& [here, there] : {std::pair(a, b), std::pair(b, a)})
                if (sw["chassis"] == here) {
                    json& links = sw["links"];
                    if (port != 0) links.push_back({{"port", port}, {"remote_chassis", there}, {"remote_port", port}});
                    else
                        links.erase(std::remove_if(links.begin(), links.end(), [&](const json& l) { return l["remote_chassis"] == there; }),
                                    links.end());
                }
        return doc;
    }
    const std::string sw1 = tvtest::addr::pictures_ring_base;
    tvtest::running_fabric fab{tvtest::generated_fabric(12, 10000, tvtest::addr::pictures_ring_base)};
};

TEST_F(ring_pictures, the_overview_is_a_ring_that_fits_a_screen_and_counts_every_device) {
    ASSERT_EQ(0, telvar({"port_state", "-s", "off", "-f", "114000", sw1, "9"}).status);  // chassis 5
    const json doc = snapshot(sw1, "ring.json");
    const std::size_t logged_in = doc["name_server"]["devices"].size();
    const picture map = draw({"map", "-o", path("ring.svg"), path("ring.json")});
    EXPECT_TRUE(map.overview());
    EXPECT_EQ(12u, map.ids("switch_.*").size());
    std::set<std::string> links{"link_1_1_12_2"};
    for (int k = 1; k < 12; ++k) links.insert("link_" + std::to_string(k) + "_2_" + std::to_string(k + 1) + "_1");
    EXPECT_EQ(links, map.ids("link_.*"));
    for (const std::string& id : links) EXPECT_EQ((texts{"1", "2"}), map.text(id)) << id;
    // Only the port in trouble is drawn; every device is in a switch's count.
    EXPECT_EQ((std::set<std::string>{"port_5_9"}), map.ids("port_.*"));
    EXPECT_TRUE(map.has("port_5_9", "offline") && map.has("port_5_9", "OFFLINE"));
    EXPECT_GT(logged_in, 9000u);
    EXPECT_EQ(0u, map.ids("device_.*").size());
    EXPECT_EQ(logged_in, map.devices());
    EXPECT_TRUE(map.has("switch_1", "834 devices: 14 initiators, 820 targets"));
    // The generated switches are of three models, each with its firmware.
    EXPECT_TRUE(map.has("switch_1", "firmware 40119a") && map.has("switch_2", "firmware 40118") &&
                map.has("switch_3", "firmware 30502"));

    const geometry ring(path("ring.svg"));
    EXPECT_LE(ring.height(), 2.5 * ring.width());
    EXPECT_GE(ring.smallest_text_at_1600(), 12);
    EXPECT_EQ(std::vector<std::string>{}, ring.crossed());
    EXPECT_GT(ring.roundness(), 0.95);
    EXPECT_GE(ring.rows(), 6u);

    const picture panel = draw({"panel", "-o", path("panel.svg"), path("ring.json"), "5"});
    EXPECT_TRUE(panel.has("port_5_9", "offline") && panel.has("port_5_2", "to chassis 6, port 1"));
    EXPECT_EQ((texts{"3", "FL_Port", "admin on, oper on", "optical shortwave", "60 devices:", "1 initiator, 59 targets"}),
              panel.text("port_5_3"));
    EXPECT_GE(geometry(path("panel.svg")).smallest_text_at_1600(), 12);
}

TEST_F(ring_pictures, a_line_is_drawn_in_rows_a_mesh_by_springs_and_devices_one_by_one_on_request) {
    const json doc = snapshot(sw1, "ring.json");
    // Cut between chassis 12 and 1: a line of 12, turned into rows to stay wider than tall.
    std::ofstream(path("line.json")) << relinked(doc, 1, 12).dump();
    const picture line = draw({"map", "-o", path("line.svg"), path("line.json")});
    EXPECT_TRUE(line.overview());
    EXPECT_EQ(11u, line.ids("link_.*").size());
    const geometry rows(path("line.svg"));
    EXPECT_LE(rows.height(), rows.width());
    EXPECT_GE(rows.smallest_text_at_1600(), 12);
    EXPECT_EQ(std::vector<std::string>{}, rows.crossed());
    EXPECT_EQ(3u, rows.rows());

    // Links across the ring: a mesh.
    std::ofstream(path("mesh.json")) << relinked(relinked(doc, 1, 7, 3), 4, 10, 4).dump();
    const picture mesh = draw({"map", "-o", path("mesh.json.svg"), path("mesh.json")});
    EXPECT_TRUE(mesh.overview());
    EXPECT_EQ(14u, mesh.ids("link_.*").size());
    EXPECT_TRUE(mesh.has("link_1_3_7_3", "3"));
    EXPECT_GE(geometry(path("mesh.json.svg")).smallest_text_at_1600(), 12);

    // --devices draws every device of a part of the fabric (all of it takes dot a while).
    json part = doc;
    part["switches"] = json::array();
    for (const json& sw : doc["switches"])
        if (sw["chassis"] == 1 || sw["chassis"] == 2) part["switches"].push_back(sw);
    std::ofstream(path("part.json")) << part.dump();
    std::size_t on_two = 0;
    for (const json& sw : part["switches"])
        for (const json& p : sw["ports"]) on_two += p["devices"].size();
    const picture all = draw({"map", "--devices", "-o", path("all.svg"), path("part.json")});
    EXPECT_FALSE(all.overview());
    EXPECT_EQ(on_two, all.ids("device_.*").size());
    EXPECT_TRUE(all.has("switch_3", "not in the snapshot"));
}

// The shape of the links chooses the layout: order along a line from its lower end, around a
// ring from the lowest chassis towards its lower neighbour.
TEST(fabric_shape, lines_rings_and_the_rest) {
    namespace P = telvar::picture;
    const auto shape = [](std::vector<int> chassis, std::vector<std::pair<int, int>> pairs) {
        P::fabric f;
        for (const int c : chassis) {
            f.switches.emplace_back();
            f.switches.back().chassis = c;
        }
        int port = 1;
        for (const auto& [a, b] : pairs) f.links.push_back({{a, port}, {b, port + 1}}), port += 2;
        return P::shape_of(f);
    };
    using S = P::fabric_shape;
    const auto is = [&](S s, std::vector<int> order, std::vector<int> chassis, std::vector<std::pair<int, int>> pairs) {
        const P::shape_and_order got = shape(chassis, pairs);
        EXPECT_EQ(s, got.shape) << ::testing::PrintToString(pairs);
        EXPECT_EQ(order, got.order) << ::testing::PrintToString(pairs);
    };
    is(S::single, {4}, {4}, {});
    is(S::line, {1, 2, 3}, {1, 2, 3}, {{1, 2}, {2, 3}});
    is(S::line, {2, 5, 1, 9}, {1, 2, 5, 9}, {{1, 9}, {1, 5}, {2, 5}});
    is(S::line, {1, 2}, {1, 2}, {{1, 2}, {1, 2}});  // two links side by side are still a line
    is(S::ring, {1, 2, 4, 3}, {1, 2, 3, 4}, {{1, 2}, {2, 4}, {3, 4}, {1, 3}});
    is(S::mesh, {1, 2, 3, 4}, {1, 2, 3, 4}, {{1, 2}, {1, 3}, {1, 4}});                  // a star
    is(S::mesh, {1, 2, 3, 4}, {1, 2, 3, 4}, {{1, 2}, {3, 4}});                          // two pieces
    is(S::mesh, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, {{1, 2}, {2, 3}, {3, 1}, {4, 5}});  // a ring and a line
}

TEST(device_count, says_how_many_and_what_they_are) {
    namespace P = telvar::picture;
    const auto count = [](std::string roles) {
        std::vector<P::device> d;
        for (const char r : roles)
            d.emplace_back().role = r == 'i' ? P::device_role::initiator : r == 't' ? P::device_role::target : P::device_role::unknown;
        return P::device_count(d);
    };
    // One of each role, all targets and a mix: the pictures of the default fabric and the ring.
    EXPECT_EQ("0 devices", count(""));
    EXPECT_EQ("2 devices: all initiators", count("ii"));
    EXPECT_EQ("2 devices", count("i?"));  // a role not known: no roles said
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
                                    {fs::path(TELVAR_BIN).parent_path().string(), path().string(), tvtest::addr::pictures_readme_base,
                                     tvtest::addr::pictures_readme_ring});
    ASSERT_EQ(0, r.status) << r.out << r.err;
    for (const char* name : {"fabric-map.svg", "panel-sw1.svg", "ring-map.svg"})
        EXPECT_TRUE(read_file(committed / name) == read_file(path() / name)) << name << " is not current: run make pictures";
}

}  // namespace
