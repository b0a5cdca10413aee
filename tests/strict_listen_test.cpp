// Listening in strict mode: traps are taken only from the switch the listener registered with
// and only when they are whole trap messages; a raw message's answer only from where the
// message went. What is refused is read past within the same wait, so the real datagram queued
// behind it is still taken.
#include <arpa/inet.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/switch_test.h"
#include "support/test_addresses.h"
#include "support/trap_message.h"

namespace {

using tvtest::bytes;
using tvtest::reply;

// A whole trap message: trap command, payload length 32; `value` tells one trap from another.
bytes trap(std::int32_t value) {
    return tvtest::trap_message({0, 4, 4, 0, 0, TV_CMD_TRAP, 32, 0}, {0, 3, 12, 0, value, 0});
}

bytes with_length_field(bytes m, std::uint16_t length) {
    tv::wire::put_be16(m, 10, length);
    tv::set_checksum(m);
    return m;
}

bytes with_command(bytes m, std::uint16_t command) {
    tv::wire::put_be16(m, 8, command);
    tv::set_checksum(m);
    return m;
}

class strict_listen : public tvtest::switch_test {
protected:
    strict_listen() : switch_test(tvtest::addr::strict_listen_switch) {}
    void SetUp() override {
        switch_test::SetUp();
        was_strict = tv_set_strict_answers(1);
    }
    void TearDown() override {
        tv_set_strict_answers(was_strict);
        switch_test::TearDown();
    }
    tvtest::scripted_responder forger{tvtest::addr::strict_listen_forger};
    int32_t was_strict = 0;
};

enum class sender { sw, forger };

struct refused_trap {
    const char* what;
    sender from;
    bytes datagram;
};

TEST_F(strict_listen, only_whole_traps_from_the_switch_are_taken) {
    const refused_trap cases[] = {
        {"a whole trap forged from another address", sender::forger, trap(111)},
        {"an all-zero header-sized datagram (its checksum of 0 matches)", sender::sw, bytes(16)},
        {"a length field one short of what arrived", sender::sw, with_length_field(trap(222), 31)},
        {"a length field one past what arrived", sender::sw, with_length_field(trap(223), 33)},
        {"another command in the header", sender::sw, with_command(trap(333), 0x30)},
        {"a wrong checksum", sender::sw, [] { bytes m = trap(444); m[47] ^= 1; return m; }()},
        {"shorter than a header", sender::sw, bytes{1, 4, 0, 0, 0, 0, 0, 0, 0, 0x32}},
    };
    // Registered outside strict mode: the scripted registration answer echoes nothing.
    tv_set_strict_answers(0);
    sw.script({reply(32)});
    tv_trap_listener* l = tv_trap_createlistener(ctx);
    ASSERT_NE(nullptr, l);
    tv_set_strict_answers(1);
    const sockaddr_in where = l->ctx->local_addr;

    std::int32_t real = 1000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint32_t dropped = tv_get_dropped_unsolicited();
        (c.from == sender::sw ? sw : forger).send_to(where, c.datagram);
        sw.send_to(where, trap(++real));
        tv_trap_event e{};
        ASSERT_EQ(0, tv_trap_listen(l, 2000, &e));
        EXPECT_EQ(real, e.value);  // the real trap behind it, never the refused one
        EXPECT_EQ(12, e.code);
        EXPECT_EQ(dropped + 1, tv_get_dropped_unsolicited());
        // Nothing else is waiting: the refused datagram was not kept for later.
        EXPECT_EQ(106, tv_trap_listen(l, 0, &e));
        EXPECT_EQ(real, e.value);
    }

    // Without strict mode the first datagram is taken, whoever sent it.
    tv_set_strict_answers(0);
    forger.send_to(where, trap(555));
    tv_trap_event e{};
    ASSERT_EQ(0, tv_trap_listen(l, 2000, &e));
    EXPECT_EQ(555, e.value);

    sw.script({reply(32)});
    EXPECT_EQ(0, tv_trap_release_listener(ctx, l));  // outside strict mode, as registered
}

// A raw message (one configuration request) in a file, as the tool's message command reads it.
std::string raw_message_file() {
    const std::string name = ::testing::TempDir() + "strict_listen_message.txt";
    std::ofstream(name) << "# one request\n01040000\n00fffffd\n00300008\n00000007\n00000001\n";
    return name;
}

struct raw_answer_case {
    const char* what;
    bool forged_first;        // another host's answer is queued before the request goes out
    tvtest::step switch_does;
    int32_t status;           // of tv_message
    std::uint8_t marker;      // payload byte 0 of the answer taken (0: none)
};

TEST_F(strict_listen, a_raw_answer_is_taken_only_from_where_the_message_went) {
    const auto answering = [](std::uint8_t marker) { return tvtest::answer({marker, 0, 0, 0}); };
    tvtest::step other_port = answering(0x77);
    other_port.from_other_port = true;
    const raw_answer_case cases[] = {
        {"another host answers first; the switch's answer is taken", true, answering(0x5A), 0, 0x5A},
        {"only another host answers", true, tvtest::silent(), 106, 0},
        {"the switch's address answers from another port", false, other_port, 106, 0},
        {"the switch alone answers", false, answering(0x3C), 0, 0x3C},
    };
    const std::string file = raw_message_file();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.forged_first) {
            bytes forged(24);
            forged[0] = 1, forged[1] = 4;
            tv::wire::put_be16(forged, 8, 0x30);
            tv::wire::put_be16(forged, 10, 8);
            tv::wire::put_be32(forged, 12, 7);
            forged[16] = 0xEE;
            tv::set_checksum(forged);
            forger.send_to(ctx->local_addr, forged);
        }
        sw.script({c.switch_does});
        std::array<std::uint8_t, 512> resp{};
        resp.fill(0xAA);
        EXPECT_EQ(c.status, tv_message(ctx, nullptr, nullptr, file.c_str(), resp.data()));
        EXPECT_EQ(c.marker, resp[16]);  // never the forger's 0xEE
    }
    std::remove(file.c_str());
}

}  // namespace
