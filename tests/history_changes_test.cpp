// The history's changes between readings of a fabric, read from the simulator: a first reading
// is one row, an unchanged fabric adds none, and a fabric out of reach keeps what it had. What
// changes between readings (ports, zones, devices, links, a silent switch) is followed end to
// end, through telvard and the tool, in watcher_test.
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

TEST_F(history_changes, a_fabric_out_of_reach_keeps_every_switch_and_device) {
    read();
    const std::size_t before = items.size();
    const H::reading r = H::changes_since(items, json::object(), "fab", ++clock);
    EXPECT_EQ(3u, r.changes.size());
    for (const H::change_row& c : r.changes) EXPECT_EQ("switch", c.kind);
    apply_rows(items, r);
    EXPECT_EQ(before, items.size());
}

}  // namespace
