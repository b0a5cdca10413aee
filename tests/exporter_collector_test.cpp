// The exporter's collector in this process, over a read that the test holds: an answer by the
// deadline while the read hangs; and what it remembers of the switches between reads. (Reads
// shared by concurrent requests are counted at the simulator, in exporter_test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>

#include "exporter/collector.h"
#include "exporter/switch_memory.h"

namespace {

using namespace std::chrono_literals;
using exporter::scrape_result;
using exporter::steady;
using exporter::switch_sample;

switch_sample answered(const std::string& target, std::uint32_t address, const std::string& wwn) {
    switch_sample s(target, address);
    s.up = true;
    s.wwn = wwn;
    return s;
}

bool has(const std::string& text, const std::string& line) { return text.find("\n" + line + "\n") != std::string::npos; }

// A read of one switch that waits until the test opens the gate, counting the reads.
class held_read {
public:
    scrape_result operator()(const std::vector<std::string>& targets, const exporter::scrape_options&) {
        ++reads;
        gate_.wait();
        scrape_result r;
        r.switches.push_back(answered(targets.front(), 0x104000, "10:00:00:00:00:00:00:01"));
        return r;
    }
    void open() { opener_.set_value(); }
    std::atomic<int> reads{0};

private:
    std::promise<void> opener_;
    std::shared_future<void> gate_ = opener_.get_future().share();
};

TEST(exporter_collector, a_request_answers_by_its_deadline_while_the_read_hangs) {
    held_read read;
    {
        exporter::collector c({"127.0.0.50", "127.0.0.51"}, {.deadline = 100ms}, 250ms, std::ref(read));
        // Its deadline long past when it arrives (it waited for a handler thread): answered at once,
        // with its switches as not read.
        const std::string text = c.metrics(steady::now() - 1s);
        for (const char* target : {"127.0.0.50", "127.0.0.51"}) {
            EXPECT_TRUE(has(text, "telvar_up{target=\"" + std::string(target) + "\",switch=\"\"} 0")) << text;
            EXPECT_TRUE(has(text, "telvar_scrape_errors{target=\"" + std::string(target) + "\",switch=\"\"} 1")) << text;
        }
        EXPECT_TRUE(has(text, "telvar_scrape_deadline_exceeded 1"));
        EXPECT_TRUE(has(text, "telvar_scrapes_total 1"));
        // One that waits its 100 ms: the same, and the read it waited for is still the only one.
        EXPECT_TRUE(has(c.metrics(steady::now()), "telvar_scrape_deadline_exceeded 1"));
        EXPECT_EQ(1, read.reads);
        read.open();
    }  // the collector waits for its read
    // Room for the last exchange (1.5 x the budget) and the answer, but never below half.
    EXPECT_EQ(7575ms, exporter::read_deadline(8000ms, 250ms));
    EXPECT_EQ(50ms, exporter::read_deadline(100ms, 400ms));
}

TEST(exporter_collector, remembers_switches_that_answered_for_a_while_and_phantoms_not_at_all) {
    exporter::switch_memory memory(15min);
    const std::string t = "127.0.0.50";
    const auto t0 = steady::now();
    const auto listed = [](const scrape_result& r) {
        std::vector<std::pair<std::uint32_t, bool>> out;
        for (const switch_sample& s : r.switches) out.emplace_back(s.fc_address, s.up);
        return out;
    };
    const auto read = [&](std::vector<switch_sample> switches, steady::time_point now) {
        scrape_result r;
        r.switches = std::move(switches);
        memory.complete(r, now);
        memory.remember(r, now);
        return listed(r);
    };
    // The target's switch and one behind it answer; a far end a link named does not.
    read({answered(t, 0x104000, "w1"), answered(t, 0x108000, "w2"), switch_sample(t, 0x3fc000)}, t0);
    // The target alone answers: the one behind it stays listed, down; the far end is gone.
    using L = std::vector<std::pair<std::uint32_t, bool>>;
    EXPECT_EQ((L{{0x104000, true}, {0x108000, false}}), read({answered(t, 0x104000, "w1")}, t0 + 1min));
    // Nothing answers: the target's switch keeps its address.
    EXPECT_EQ((L{{0x104000, false}, {0x108000, false}}), read({switch_sample(t)}, t0 + 2min));
    // Fifteen minutes after it last answered, the one behind it has expired; the target's own
    // switch is listed as long as the target is given.
    EXPECT_EQ((L{{0x104000, false}}), read({switch_sample(t)}, t0 + 16min));
    EXPECT_EQ((L{{0x104000, false}}), read({switch_sample(t)}, t0 + 600min));

    // A switch met again through another address (by WWN) is not listed twice.
    read({answered(t, 0x104000, "w1"), answered(t, 0x108000, "w2")}, t0);
    EXPECT_EQ((L{{0x104000, true}, {0x10c000, true}}),
              read({answered(t, 0x104000, "w1"), answered("127.0.0.51", 0x10c000, "w2")}, t0 + 1min));

    // A switch that made up answering neighbours by the hundred: no more than 64 kept (its own
    // among them or beside them).
    const std::string hostile = "127.0.0.52";
    std::vector<switch_sample> many{answered(hostile, 0x104000, "x")};
    for (std::uint32_t k = 1; k <= 100; ++k) many.push_back(answered(hostile, k << 8, "made-up " + std::to_string(k)));
    read(many, t0);
    scrape_result r;
    r.switches.emplace_back(hostile);
    memory.complete(r, t0 + 1min);
    const auto of_hostile = std::ranges::count_if(r.switches, [&](const switch_sample& s) { return s.target == hostile; });
    EXPECT_LE(of_hostile, exporter::switch_memory::max_per_target + 1);
    EXPECT_GE(of_hostile, exporter::switch_memory::max_per_target);
}

}  // namespace
