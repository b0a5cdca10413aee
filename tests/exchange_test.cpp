// The exchange, listening and raw messages against a scripted switch on loopback. Cycles are
// checked by counting the datagrams that reached the switch, never by timing.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "support/switch_test.h"
#include "support/test_addresses.h"
#include "proto/name_server/layout.h"
#include "proto/topology/layout.h"
#include "tv_api/raw_message.h"
#include "tv_api/tv_inter.h"

namespace {

using tvtest::bytes;
using tvtest::step;

class exchange : public tvtest::switch_test {
protected:
    exchange() : switch_test(tvtest::addr::exchange_switch) {}
    std::array<std::uint8_t, 24> req{};
    std::array<std::uint8_t, 64> resp{};

    int32_t run() {
        tv::build_config_request(ctx, req, 0x200);
        return tv_exchange(ctx, req.data(), static_cast<int32_t>(req.size()), resp.data(),
                           static_cast<int32_t>(resp.size()), 0);
    }
    // The datagrams the switch received from the `from`-th on are all the request, byte for byte.
    void expect_all_identical(std::size_t n, std::size_t from = 0) {
        const auto got = sw.received();
        ASSERT_EQ(from + n, got.size());
        for (std::size_t i = from; i < got.size(); ++i) EXPECT_EQ(bytes(req.begin(), req.end()), got[i]);
    }
};

// A silent switch gets as many cycles as the mode, the wait of a cycle and the budget allow.
TEST_F(exchange, silent_switch_gets_the_cycles_of_its_mode_and_budget) {
    struct silent_case {
        const char* what;
        int32_t discover, ip_timeout, timeout;
        std::size_t datagrams;
    };
    const silent_case cases[] = {
        {"normal mode", 0, 70, 500, 6},
        {"discovery mode, whatever the budget", 1, 70, 100000, 3},
        {"no wait: each cycle costs only its 15 ms pause", 0, 0, 500, 34},
        {"no budget: nothing is sent", 0, 70, 0, 0},
    };
    for (const silent_case& c : cases) {
        SCOPED_TRACE(c.what);
        Discover = c.discover;
        g_ip_timeout = c.ip_timeout;
        tv_set_timeout(c.timeout);
        const std::size_t before = sw.count();
        EXPECT_EQ(0, run());
        EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_api_errno);
        expect_all_identical(c.datagrams, before);
    }
}

// The answer and its length, cut to the room; a datagram too short to hold a sequence number
// is read past within the cycle, like a stale answer.
TEST_F(exchange, answer_is_returned_with_its_length_cut_to_the_room) {
    struct returned_case {
        const char* what;
        step answer;
        int32_t length;
        std::size_t at;
        std::uint8_t byte;
    };
    step after_short = tvtest::answer({9, 9, 9, 9});
    after_short.short_first = true;
    const returned_case cases[] = {
        {"an answer", tvtest::answer({0, 0, 2, 0, 7, 7, 7, 7}), 28, 20, 7},
        {"after a short datagram", after_short, 24, 16, 9},
        {"longer than the room", tvtest::answer(bytes(200, 0xAB)), 64, 63, 0xAB},
    };
    for (const returned_case& c : cases) {
        sw.script({c.answer});
        ctx->last_activity = 0;
        const std::size_t before = sw.count();
        EXPECT_EQ(c.length, run()) << c.what;
        EXPECT_EQ(0, tv_api_errno) << c.what;
        EXPECT_EQ(c.byte, resp[c.at]) << c.what;
        EXPECT_NE(0u, ctx->last_activity) << c.what;
        EXPECT_EQ(before + 1, sw.count()) << c.what;
    }
}

TEST_F(exchange, newer_sequence_number_ends_the_cycle_and_the_request_is_resent) {
    step newer = tvtest::answer();
    newer.seq_delta = 1;
    sw.script({newer, tvtest::answer({5, 5, 5, 5})});
    EXPECT_EQ(24, run());
    EXPECT_EQ(0, tv_api_errno);
    expect_all_identical(2);
}

TEST_F(exchange, sequence_numbers_compare_signed_across_the_wrap) {
    // Request 0 after the 32-bit wrap: 0xFFFFFFFF is an older answer, read past in the cycle.
    msg_seq_num = 0xFFFFFFFF;
    step stale = tvtest::answer({1, 2, 3, 4});
    stale.stale_first = true;
    sw.script({stale});
    EXPECT_EQ(24, run());
    EXPECT_EQ(0, tv_api_errno);
    EXPECT_EQ(0u, tv_get_seq_num(req.data()));
    EXPECT_EQ(0u, tv_get_seq_num(resp.data()));
    expect_all_identical(1);  // within the same cycle

    // Request 0x80000000 is the smallest signed number: 0x7FFFFFFF counts as newer and ends
    // the cycle, so the request goes out again.
    msg_seq_num = 0x7FFFFFFF;
    step wrapped = tvtest::answer();
    wrapped.seq_delta = -1;
    sw.script({wrapped, tvtest::answer({5, 5, 5, 5})});
    EXPECT_EQ(24, run());
    EXPECT_EQ(0x80000000u, tv_get_seq_num(resp.data()));
    EXPECT_EQ(3u, sw.count());
}

TEST_F(exchange, late_answer_to_an_earlier_cycle_is_a_match) {
    g_ip_timeout = 200;
    g_timeout = 2000;
    step late = tvtest::answer({1, 1, 1, 1});
    late.delay_ms = 300;  // after the first 200 ms wait, inside the second
    sw.script({late});
    EXPECT_EQ(24, run());
    expect_all_identical(2);
}

TEST_F(exchange, status_bytes_give_status_codes) {
    const std::array<std::pair<std::uint8_t, int32_t>, 5> cases{
        {{0x01, 201}, {0x03, 107}, {0x0E, 202}, {0x02, 200}, {0xFF, 200}}};
    g_timeout = 3000;  // cycles long enough that a loaded machine's late answer is no resend
    for (auto [byte, code] : cases) {
        step s = tvtest::answer({1, 2, 3, 4});
        s.status = byte;
        sw.script({s});
        ctx->last_activity = 1234;
        EXPECT_EQ(0, run()) << int(byte);
        EXPECT_EQ(code, tv_api_errno) << int(byte);
        EXPECT_EQ(1234u, ctx->last_activity);
    }
    EXPECT_EQ(5u, sw.count());  // a refusal is an answer: no resend
    // check_flags is the same table; byte 3 of a header never counts.
    bytes hdr(16, 0);
    hdr[3] = 0x0E;
    EXPECT_EQ(0, check_flags(hdr.data()));
}

// An answer of the 64 bytes the call expects, repeating the request's sub-command as a switch
// does, or not.
step whole_answer(std::uint32_t subcmd = 0x200) {
    bytes payload(44, 7);
    tv::wire::put_be32(payload, 0, subcmd);
    return tvtest::answer(payload);
}

TEST_F(exchange, strict_mode_reads_the_sequence_number_first_then_checks_the_content) {
    g_strict_answers = 1;
    g_timeout = 100;  // a silent call makes two cycles
    const auto with = [](step s, void (*change)(step&)) {
        change(s);
        return s;
    };
    const step good = whole_answer();
    struct bad_case {
        const char* what;
        step answer;
        bool stale;  // read past within the cycle, rather than spoiled
    };
    const std::array<bad_case, 9> bad{{
        {"checksum", with(good, [](step& s) { s.what = step::kind::bad_checksum; }), false},
        {"header alone", tvtest::answer(), false},
        {"command", with(good, [](step& s) { s.command = TV_CMD_ONLINE_TEST; }), false},
        {"sender", with(good, [](step& s) { s.from_other_port = true; }), false},
        {"length field", with(good, [](step& s) { s.length_delta = 1; }), false},
        {"sub-command", whole_answer(0x202), false},
        {"no sequence number", with(good, [](step& s) { s.what = step::kind::short_datagram; }), true},
        {"older number", with(good, [](step& s) { s.seq_delta = -1; }), true},
        {"newer number", with(good, [](step& s) { s.seq_delta = 1; }), true},
    }};
    for (const bad_case& c : bad) {
        sw.script({c.answer});
        const tv::read_past_counts before = tv::answers_read_past();
        const std::size_t sent = sw.count();
        EXPECT_EQ(0, run()) << c.what;
        EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_api_errno) << c.what;
        EXPECT_EQ(before.spoiled + (c.stale ? 0 : 1), tv::answers_read_past().spoiled) << c.what;
        EXPECT_EQ(before.stale + (c.stale ? 1 : 0), tv::answers_read_past().stale) << c.what;
        EXPECT_EQ(sent + 2, sw.count()) << c.what;
    }
    EXPECT_EQ(tv::answers_read_past().spoiled, tv_get_discarded_answers());

    // A spoiled answer ends the cycle: the resend's good answer is taken.
    sw.script({bad[0].answer, good});
    std::size_t sent = sw.count();
    EXPECT_EQ(64, run());
    EXPECT_EQ(sent + 2, sw.count());
    // Whatever the stale answer holds, it is read past in the cycle and the real one taken.
    sw.script({with(good, [](step& s) { s.stale_first = true; s.short_first = true; })});
    sent = sw.count();
    const std::uint32_t spoiled = tv_get_discarded_answers();
    EXPECT_EQ(64, run());
    EXPECT_EQ(sent + 1, sw.count());
    EXPECT_EQ(spoiled, tv_get_discarded_answers());
    // A refusal is a header alone, and still counts.
    sw.script({tvtest::refused(0x0E), good});
    EXPECT_EQ(0, run());
    EXPECT_EQ(TV_ERR_LOGIN_REQUIRED, tv_api_errno);
    EXPECT_EQ(64, run());
}

TEST_F(exchange, strict_mode_ends_within_one_and_a_half_budgets_against_a_drip_of_old_answers) {
    // An old answer every 58 ms, past the deadline: each comes before a wait would time out. Read past
    // inside the cycle's wait, the drip costs what silence costs: the silent schedule's requests
    // (6 in normal mode, 3 in discovery mode), no spoiled answer, and no more old answers read
    // than arrive in 1.5 budgets.
    g_strict_answers = 1;
    constexpr int every_ms = 58;
    struct mode {
        int32_t discover;
        std::size_t silent_cycles;
        int budget;
    };
    for (const mode m : {mode{0, 6, 500}, mode{1, 3, 255}}) {
        Discover = m.discover;
        step drip = whole_answer();
        drip.seq_delta = -1;
        drip.repeat = m.budget * 3 / 2 / every_ms + 2;
        drip.repeat_every_ms = every_ms;
        sw.script({drip});
        const std::size_t sent = sw.count();
        const tv::read_past_counts before = tv::answers_read_past();
        EXPECT_EQ(0, run());
        EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_api_errno);
        const std::size_t requests = sw.count() - sent;
        EXPECT_LE(requests, m.silent_cycles) << m.discover;
        EXPECT_GE(requests, m.silent_cycles - 1) << m.discover;  // the deadline may cut the last
        EXPECT_EQ(before.spoiled, tv::answers_read_past().spoiled);
        const std::uint32_t read = tv::answers_read_past().stale - before.stale;
        EXPECT_GE(read, 2u);
        EXPECT_LE(read, static_cast<std::uint32_t>(m.budget * 3 / 2 / every_ms + 1)) << m.discover;
        // The rest of the drip arrives between calls: drain it so the next mode starts clean.
        ASSERT_TRUE(sw.wait_for(sent + requests));
        std::this_thread::sleep_for(std::chrono::milliseconds(every_ms * (drip.repeat + 1)));
        tv_close(ctx);
        ctx = tv_open(tvtest::addr::exchange_switch);
        ASSERT_NE(nullptr, ctx);
    }
}

TEST_F(exchange, strict_mode_refuses_an_answer_to_another_query_with_the_current_number) {
    // The name server answers in two halves; a switch that sends the port half again where the
    // node half was asked for, with the current number, must not give a node half of port bytes.
    g_strict_answers = 1;
    namespace NS = tv::layout::name_server;
    const auto half = [](std::uint16_t which, std::uint8_t fill) {
        tvtest::reply r(NS::msg_len);
        r.be32(NS::query_at, NS::query::object);
        r.u8(NS::half_at + 1, static_cast<std::uint8_t>(which));
        r.u8(NS::port_half::port, 3);
        r.raw(NS::node_half::node_wwn, bytes(8, fill));
        return static_cast<step>(r);
    };
    tv_nameserver_entry e{};
    sw.script({half(NS::half::port, 0x11), half(NS::half::port, 0x11), half(NS::half::port, 0x11),
               half(NS::half::port, 0x11)});
    EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_get_nameserverentry(ctx, 0x010100, &e));
    EXPECT_EQ(0, e.port);
    sw.script({half(NS::half::port, 0x11), half(NS::half::port, 0x11), half(NS::half::node, 0x22)});
    EXPECT_EQ(TV_OK, tv_get_nameserverentry(ctx, 0x010100, &e));
    EXPECT_EQ(3, e.port);
    EXPECT_EQ(0x22, e.node_wwn[0]);

    // The port byte of a per-port read, and lenient mode, which compares none of it.
    tvtest::reply al(tv::layout::topology::al::ret_len);
    al.be32(tv::off::subcmd, tv::layout::topology::subcmd::al_port_status).u8(tv::layout::topology::al::port, 4);
    sw.script({al});
    EXPECT_EQ(TV_ERR_NO_RESPONSE, tv::get_al_port_status(ctx, 5));
    sw.script({al});
    EXPECT_EQ(TV_OK, tv::get_al_port_status(ctx, 4));
    g_strict_answers = 0;
    sw.script({half(NS::half::port, 0x11), half(NS::half::port, 0x11)});
    EXPECT_EQ(TV_OK, tv_get_nameserverentry(ctx, 0x010100, &e));
    EXPECT_EQ(0x11, e.node_wwn[0]);
}

TEST_F(exchange, failing_sends_end_with_105_within_the_budget) {
    // Sending to the broadcast address without permission fails at once, every time.
    ctx->remote_addr.sin_addr.s_addr = 0xFFFFFFFF;
    EXPECT_EQ(-1, run());
    EXPECT_EQ(TV_ERR_SEND, tv_api_errno);
    EXPECT_EQ(0u, sw.count());
}

// ---- tv_listen ----

class listen : public exchange {
protected:
    bytes datagram(step s) {
        bytes hdr(TV_HDR_LEN, 0);
        hdr[0] = 0x11;
        return tvtest::scripted_responder::make_answer(hdr, s);
    }
    int32_t listen_for(const bytes& d, std::array<std::uint8_t, 64>& buf) {
        buf.fill(0xCC);
        sw.send_to(ctx->local_addr, d);
        return tv_listen(ctx, buf.data(), static_cast<int32_t>(buf.size()), 1000);
    }
    static bool all_zero(const std::array<std::uint8_t, 64>& b) {
        for (auto c : b)
            if (c) return false;
        return true;
    }
};

TEST_F(listen, takes_a_good_datagram_and_rejects_short_or_badly_checksummed_ones) {
    std::array<std::uint8_t, 64> buf;
    step good = tvtest::answer({1, 2, 3, 4});
    EXPECT_EQ(0, listen_for(datagram(good), buf));
    EXPECT_EQ(0x11, buf[0]);
    EXPECT_EQ(4, buf[19]);
    EXPECT_EQ(0, buf[30]);  // beyond the datagram: zero

    step shorter = good;
    shorter.what = step::kind::short_datagram;
    EXPECT_EQ(106, listen_for(datagram(shorter), buf));
    EXPECT_TRUE(all_zero(buf));

    step bad = good;
    bad.what = step::kind::bad_checksum;
    EXPECT_EQ(110, listen_for(datagram(bad), buf));
    EXPECT_EQ(110, tv_api_errno);
    EXPECT_TRUE(all_zero(buf));

    step refused = good;
    refused.status = 0x0E;
    EXPECT_EQ(202, listen_for(datagram(refused), buf));
    EXPECT_TRUE(all_zero(buf));
}

// ---- tv_message ----

class raw_message : public exchange {
protected:
    std::string path = ::testing::TempDir() + "raw_message.txt";
    std::array<std::uint8_t, 512> answer_buf{};
    void write_file(const std::string& text) { std::ofstream(path) << text; }
};

TEST_F(raw_message, sends_the_words_of_the_file_with_their_checksum) {
    write_file("# a comment\n11000000\n00fffffd\n");
    sw.script({tvtest::answer({0xAA, 0xBB, 0xCC, 0xDD})});
    EXPECT_EQ(0, tv_message(ctx, nullptr, nullptr, path.c_str(), answer_buf.data()));
    ASSERT_TRUE(sw.wait_for(1));
    const bytes sent = sw.received().at(0);
    const bytes expect{0x11, 0, 0, 0, 0, 0xFF, 0xFF, 0xFD, 0, 0, 0x03, 0x0C};
    EXPECT_EQ(expect, sent);
    EXPECT_EQ(0xAA, answer_buf[16]);

    EXPECT_EQ(106, tv_message(ctx, "+L", "+C", path.c_str(), answer_buf.data()));  // no answer
    ASSERT_TRUE(sw.wait_for(2));
    const bytes spoiled = sw.received().at(1);
    EXPECT_EQ(0x0C + 2, spoiled[11]);  // checksum + 1, then bytes 10-11 + 1 on top
}

TEST_F(raw_message, reads_leading_hex_of_each_line_and_refuses_too_many_words_or_no_file) {
    write_file("abort\n0x12345678\nfffffffff\n\n   1\nz9\n" + std::string(200, '1') + "\n22\n");
    std::array<std::uint8_t, 512> msg{};
    std::FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(5, tv::read_message_words(f, msg));  // the overlong line counts once
    std::fclose(f);
    EXPECT_EQ(0xABu, tv::wire::get_be32(msg, 0));
    EXPECT_EQ(0x12345678u, tv::wire::get_be32(msg, 4));
    EXPECT_EQ(0x7FFFFFFFu, tv::wire::get_be32(msg, 8));  // above 0x7FFFFFFF
    EXPECT_EQ(0x22u, tv::wire::get_be32(msg, 16));

    std::string many;
    for (int i = 0; i < 128; ++i) many += "1\n";
    write_file(many);
    EXPECT_EQ(EFBIG, tv_message(ctx, nullptr, nullptr, path.c_str(), answer_buf.data()));
    EXPECT_EQ(0u, sw.count());

    many.resize(127 * 2);  // 127 words fit exactly
    write_file(many);
    sw.script({tvtest::answer()});
    EXPECT_EQ(0, tv_message(ctx, nullptr, nullptr, path.c_str(), answer_buf.data()));
    ASSERT_TRUE(sw.wait_for(1));
    EXPECT_EQ(512u, sw.received().at(0).size());

    EXPECT_EQ(ENOENT, tv_message(ctx, nullptr, nullptr, "/nonexistent/msg", answer_buf.data()));
    EXPECT_EQ(ENOENT, tv_api_errno);
}

}  // namespace
