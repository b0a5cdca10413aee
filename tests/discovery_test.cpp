// Discovery against scripted switches on loopback addresses: which addresses were probed is
// shown by the datagrams each one received (a silent one gets the 3 cycles of discovery mode,
// an answering one 1, an unprobed one none). The address arithmetic is checked on its own.
#include <arpa/inet.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/saved_globals.h"
#include "support/switch_test.h"
#include "support/test_addresses.h"
#include "tv_api/address_range.h"

namespace {

using tvtest::open_descriptors;
using tvtest::scripted_responder;
using tvtest::step;

std::string loopback(int host) { return "127.0.4." + std::to_string(host); }

std::uint32_t addr(const std::string& text) { return inet_addr(text.c_str()); }

std::string text_of(std::uint32_t a) {
    in_addr in{};
    in.s_addr = a;
    return inet_ntoa(in);
}

std::vector<std::string> texts(char** result) {
    std::vector<std::string> out;
    for (char** p = result; p && *p; ++p) out.emplace_back(*p);
    return out;
}

class discovery : public ::testing::Test {
protected:
    tvtest::saved_globals globals_;
    std::map<int, std::unique_ptr<scripted_responder>> switches;

    void SetUp() override {
        Discover = 1;
        tv_api_open(nullptr);
    }

    // A switch on 127.0.4.<host> that answers every version request, or stays silent.
    void add_switch(int host, bool answers) {
        auto sw = std::make_unique<scripted_responder>(loopback(host));
        if (answers) sw->set_fallback(tvtest::reply(88).be32(20, 0x40119));
        switches[host] = std::move(sw);
    }
    std::map<int, std::size_t> probes() const {
        std::map<int, std::size_t> n;
        for (const auto& [host, sw] : switches) n[host] = sw->count();
        return n;
    }
};

TEST_F(discovery, count_from_a_base_probes_consecutive_addresses) {
    add_switch(1, false);
    add_switch(2, true);
    add_switch(3, false);
    add_switch(4, true);
    const std::size_t fds = open_descriptors();
    char** found = tv_discover(nullptr, tvtest::addr::discovery_base, 3);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(std::vector<std::string>{loopback(2)}, texts(found));
    EXPECT_EQ((std::map<int, std::size_t>{{1, 3}, {2, 1}, {3, 3}, {4, 0}}), probes());
    EXPECT_EQ(0, Discover);
    EXPECT_EQ(0, tv_api_errno);
    EXPECT_EQ(fds, open_descriptors());  // the context was closed
    tv_free_discovery(found, nullptr);
}

TEST_F(discovery, parallel_discovery_finds_what_the_sequential_one_finds_in_its_order) {
    add_switch(1, false);
    add_switch(2, true);
    add_switch(3, false);
    add_switch(4, true);
    add_switch(6, true);  // .5 has nobody listening at all
    // One probe at a time, a window that slides over the range, and one wider than the range:
    // the same finds in the same order, each silent address tried three times.
    std::map<int, std::size_t> before = probes();
    for (const int32_t window : {1, 4, 65536}) {
        char** found = tv_discover_parallel(nullptr, tvtest::addr::discovery_base, 6, window, nullptr, nullptr);
        ASSERT_NE(nullptr, found) << window;
        EXPECT_EQ((std::vector<std::string>{loopback(2), loopback(4), loopback(6)}), texts(found)) << window;
        std::map<int, std::size_t> now = probes(), made;
        for (const auto& [host, n] : now) made[host] = n - before[host];
        EXPECT_EQ((std::map<int, std::size_t>{{1, 3}, {2, 1}, {3, 3}, {4, 1}, {6, 1}}), made) << window;
        before = now;
        tv_free_discovery(found, nullptr);
    }

    EXPECT_EQ(nullptr, tv_discover_parallel(nullptr, tvtest::addr::discovery_base, 3, 0, nullptr, nullptr));
    EXPECT_EQ(301, tv_api_errno);
    EXPECT_EQ(nullptr, tv_discover_parallel(nullptr, tvtest::addr::discovery_base, -1, 8, nullptr, nullptr));
    EXPECT_EQ(301, tv_api_errno);
}

// A range this wide goes out in batches half of which a second thread sends: switches in either
// half, and one that is silent, are found as they would be one batch at a time.
TEST_F(discovery, a_wide_parallel_discovery_finds_switches_in_both_halves_of_its_batches) {
    std::map<std::string, std::unique_ptr<scripted_responder>> wide;
    for (const char* host : {"127.0.10.5", "127.0.12.200", "127.0.20.250"}) {
        wide[host] = std::make_unique<scripted_responder>(host);
        if (std::string(host) != "127.0.20.250") wide[host]->set_fallback(tvtest::reply(88).be32(20, 0x40119));
    }
    g_ip_timeout = 250;  // a probe of an answering switch is answered within its cycle, even on a loaded machine
    char** found = tv_discover_parallel(nullptr, tvtest::addr::wide_discovery_base, 11 * 256, 65536, nullptr, nullptr);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ((std::vector<std::string>{"127.0.10.5", "127.0.12.200"}), texts(found));
    EXPECT_EQ(1u, wide["127.0.10.5"]->count());
    EXPECT_EQ(1u, wide["127.0.12.200"]->count());
    EXPECT_EQ(3u, wide["127.0.20.250"]->count());
    tv_free_discovery(found, nullptr);
}

TEST_F(discovery, late_answers_from_the_previous_address_are_not_taken_for_the_next) {
    // 127.0.4.5 answers each probe only after its own three cycles are over, so its answers
    // reach the scan socket while 127.0.4.6, which is silent, is being probed.
    auto slow = std::make_unique<scripted_responder>(loopback(5));
    step late = tvtest::reply(88).be32(20, 0x40119);
    late.delay_ms = 300;
    slow->set_fallback(late);
    switches[5] = std::move(slow);
    add_switch(6, false);
    char** found = tv_discover(nullptr, loopback(5).c_str(), 2);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(std::vector<std::string>{}, texts(found));
    // .5 was probed to the end; .6 was probed too (how many cycles fit into its budget depends
    // on when the late answers arrive, each costing a read instead of a wait).
    EXPECT_EQ(3u, probes()[5]);
    EXPECT_GE(probes()[6], 1u);
    tv_free_discovery(found, nullptr);
}

TEST_F(discovery, empty_ranges_and_refused_arguments) {
    add_switch(1, true);
    char** found = tv_discover(nullptr, tvtest::addr::discovery_base, 0);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(nullptr, found[0]);
    EXPECT_EQ(0, Discover);
    tv_free_discovery(found, nullptr);

    uint32_t empty[1] = {0};
    found = tv_discover(empty, tvtest::addr::discovery_base, 5);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(nullptr, found[0]);
    tv_free_discovery(found, nullptr);

    EXPECT_EQ(nullptr, tv_discover(nullptr, tvtest::addr::discovery_base, -1));
    EXPECT_EQ(301, tv_api_errno);
    EXPECT_EQ(1, Discover);  // stays set after a failure
    EXPECT_EQ(nullptr, tv_discover(nullptr, "no-such-switch.invalid", 2));
    EXPECT_EQ(102, tv_api_errno);
    EXPECT_EQ(0u, switches[1]->count());
    tv_free_discovery(nullptr, nullptr);
}

// ---- address arithmetic ----

std::vector<std::string> list_texts(uint32_t* list) {
    std::vector<std::string> out;
    for (uint32_t* p = list; p && *p; ++p) out.push_back(text_of(*p));
    return out;
}

TEST(address_range, the_lowest_zero_run_of_the_mask_varies) {
    uint32_t* list = tv_ip_values_from_mask("10.0.0.6", "255.255.255.252");
    EXPECT_EQ((std::vector<std::string>{"10.0.0.4", "10.0.0.5", "10.0.0.6", "10.0.0.7"}),
              list_texts(list));
    EXPECT_EQ(0, tv_api_errno);
    std::free(list);

    // A zero run above one bits varies a higher octet; the last octet is kept from the base.
    list = tv_ip_values_from_mask("10.1.2.3", "255.255.0.255");
    const auto third = list_texts(list);
    ASSERT_EQ(256u, third.size());
    EXPECT_EQ("10.1.0.3", third.front());
    EXPECT_EQ("10.1.77.3", third[77]);
    EXPECT_EQ("10.1.255.3", third.back());
    std::free(list);

    // Higher zero bits of the mask stay zero; the run crosses the octet boundary.
    list = tv_ip_values_from_mask("10.7.1.9", "255.0.254.0");
    const auto wide = list_texts(list);
    ASSERT_EQ(512u, wide.size());
    EXPECT_EQ("10.0.0.0", wide[0]);
    EXPECT_EQ("10.0.0.255", wide[255]);
    EXPECT_EQ("10.0.1.0", wide[256]);
    std::free(list);

    EXPECT_EQ("10.0.1.0", text_of(tv::next_address(addr("10.0.0.255"))));
    EXPECT_EQ("0.0.0.0", text_of(tv::next_address(addr("255.255.255.255"))));
}

TEST(address_range, masks_without_a_range_or_with_too_large_a_one_are_refused) {
    for (const char* mask : {"0.0.0.0", "255.255.255.255", "not a mask", "0.0.0.127"}) {
        tv_api_errno = 0;
        EXPECT_EQ(nullptr, tv_ip_values_from_mask("10.0.0.1", mask)) << mask;
        EXPECT_EQ(301, tv_api_errno) << mask;
    }
    EXPECT_EQ(nullptr, tv_ip_values_from_mask("10.0.0.1", nullptr));
    EXPECT_EQ(nullptr, tv_ip_values_from_mask("ten", "255.255.255.0"));
    EXPECT_EQ(301, tv_api_errno);

    // 24 varying bits is the largest range accepted.
    uint32_t* list = tv_ip_values_from_mask("10.0.0.1", "0.0.0.255");
    ASSERT_NE(nullptr, list);
    const std::size_t n = std::size_t{1} << 24;
    EXPECT_EQ("0.0.0.1", text_of(list[0]));
    EXPECT_EQ("255.255.255.1", text_of(list[n - 1]));
    EXPECT_EQ(0u, list[n]);
    std::free(list);
}

}  // namespace
