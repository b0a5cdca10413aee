// The history's changes between readings of a fabric, read from the simulator: what a person
// should see once for each thing that changed, nothing for a fabric that did not, and a switch
// that stops answering recorded as such, never as everything on it gone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "history/fabric_items.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "telvard/fabric_reading.h"

namespace {

namespace H = telvar::history;
using nlohmann::json;

// The items a reading leaves, applied as the store applies a reading's rows.
void apply_rows(std::vector<H::item>& items, const H::reading& r) {
    for (const H::change_row& c : r.changes) {
        const auto it = std::find_if(items.begin(), items.end(), [&](const H::item& i) {
            return i.scope == c.scope && i.kind == c.kind && i.key == c.key;
        });
        if (c.after.empty()) {
            if (it != items.end()) items.erase(it);
        } else if (it != items.end()) {
            it->value = c.after;
        } else {
            items.push_back({c.scope, c.kind, c.key, c.after});
        }
    }
}

std::vector<std::string> shown(const H::reading& r) {
    std::vector<std::string> out;
    for (const H::change_row& c : r.changes) {
        if (c.shown) out.push_back(c.kind + " " + c.key + (c.before.empty() ? " added" : c.after.empty() ? " removed" : ""));
    }
    return out;
}

class history_changes : public tvtest::fabric_test {
protected:
    history_changes() : fabric_test(tvtest::addr::history_changes_base) {}

    // Takes a reading and applies it to `items`.
    H::reading read() {
        const json doc = telvard::read_fabric(tvtest::addr::history_changes_base, nullptr);
        H::reading r = H::changes_since(items, doc, "fab", ++clock);
        apply_rows(items, r);
        return r;
    }
    void silence(std::size_t sw, bool on) {
        this->sw(sw, [&](sim::switch_state& s) {
            s.silent_until = on ? std::chrono::steady_clock::now() + std::chrono::hours(1) : std::chrono::steady_clock::time_point{};
        });
    }

    std::vector<H::item> items;
    H::time_ms clock = 1000;
};

TEST_F(history_changes, a_first_reading_is_one_row_and_an_unchanged_fabric_adds_none) {
    const H::reading first = read();
    ASSERT_THAT(shown(first), testing::ElementsAre("fabric  added"));
    EXPECT_EQ(json::parse(first.changes[0].after), (json{{"switches", 3}, {"devices", 14}}));
    EXPECT_GT(items.size(), 100u);
    EXPECT_TRUE(read().changes.empty());
}

TEST_F(history_changes, a_port_switched_off_and_a_zone_changed_are_one_row_each) {
    read();
    ASSERT_EQ(0, tv_set_port_state(ctx, 4, TV_PORT_STATE_OFF));
    uint32_t members[] = {2, 3};
    tv_port_zone zone{TV_ZONE_HD, 7, 1, 2, members};
    ASSERT_EQ(0, tv_set_port_zone(ctx, &zone, 0));
    const H::reading r = read();
    EXPECT_THAT(shown(r), testing::IsSupersetOf({"port 5", "zone hard 7 added"}));
    const auto port = std::find_if(r.changes.begin(), r.changes.end(), [](const auto& c) { return c.kind == "port"; });
    EXPECT_EQ("on", json::parse(port->before)["admin"]);
    EXPECT_EQ("off", json::parse(port->after)["admin"]);
    EXPECT_EQ(1, port->sw.chassis);
    EXPECT_TRUE(read().changes.empty());
}

TEST_F(history_changes, a_silent_switch_is_one_row_going_and_one_coming_back_and_nothing_else) {
    read();
    const std::size_t before = items.size();
    silence(2, true);
    const H::reading gone = read();
    ASSERT_THAT(shown(gone), testing::ElementsAre("switch "));
    EXPECT_EQ(3, gone.changes[0].sw.chassis);
    EXPECT_NE(0, json::parse(gone.changes[0].after)["status"]["code"]);
    EXPECT_EQ(before, items.size());      // nothing of it, and none of its devices, removed
    EXPECT_TRUE(read().changes.empty());  // still silent: nothing new
    silence(2, false);
    const H::reading back = read();
    ASSERT_THAT(shown(back), testing::ElementsAre("switch "));
    EXPECT_EQ(0, json::parse(back.changes[0].after)["status"]["code"]);
    EXPECT_EQ(1u, back.changes.size());
}

TEST_F(history_changes, a_fabric_out_of_reach_keeps_every_switch_and_device) {
    read();
    const std::size_t before = items.size();
    const H::reading r = H::changes_since(items, json::object(), "fab", ++clock);
    EXPECT_EQ(3u, r.changes.size());
    for (const H::change_row& c : r.changes) EXPECT_EQ("switch", c.kind);
    apply_rows(items, r);
    EXPECT_EQ(before, items.size());
}

TEST_F(history_changes, a_cut_link_and_a_switch_that_left_say_so_once) {
    read();
    fab.server().with_fabric([](sim::fabric& f) { f.links.pop_back(); });  // between chassis 2 and 3
    const H::reading r = read();
    const auto rows = shown(r);
    EXPECT_EQ(1, std::count(rows.begin(), rows.end(), "switch  removed"));
    EXPECT_EQ(1, std::count_if(rows.begin(), rows.end(), [](const std::string& s) { return s.starts_with("link "); }));
    // The parts of the switch that left are kept for rebuilding, not shown one by one.
    EXPECT_TRUE(std::none_of(r.changes.begin(), r.changes.end(),
                             [](const auto& c) { return c.shown && c.sw.chassis == 3 && c.kind == "port"; }));
    EXPECT_TRUE(read().changes.empty());
}

}  // namespace
