// The history's changes between readings of a fabric, read from the simulator: a fabric out of
// reach keeps what it had. A first reading, an unchanged fabric and what changes between
// readings (ports, zones, devices, links, a silent switch) are followed end to end, through
// telvard and the tool, in watcher_test.
#include <gtest/gtest.h>

#include "history/fabric_items.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "telvard/fabric_reading.h"

namespace {

namespace H = telvar::history;
using nlohmann::json;

class history_changes : public tvtest::fabric_test {
protected:
    history_changes() : fabric_test(tvtest::addr::history_changes_base) {}
};

TEST_F(history_changes, a_fabric_out_of_reach_keeps_every_switch_and_device) {
    // The items of a first reading: each of its rows adds one.
    const json doc = telvard::read_fabric(tvtest::addr::history_changes_base, nullptr);
    std::vector<H::item> items;
    for (const H::change_row& c : H::changes_since({}, doc, "fab", 1000).changes) items.push_back({c.scope, c.kind, c.key, c.after});
    ASSERT_GT(items.size(), 100u);
    // Nothing answers: a row for each switch, and nothing removed.
    const H::reading r = H::changes_since(items, json::object(), "fab", 2000);
    EXPECT_EQ(3u, r.changes.size());
    for (const H::change_row& c : r.changes) {
        EXPECT_EQ("switch", c.kind);
        EXPECT_FALSE(c.after.empty()) << c.key;
    }
}

}  // namespace
