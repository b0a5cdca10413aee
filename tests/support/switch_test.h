// A fixture for the tests of a command family: a scripted switch on the family's loopback
// address, a context on it in normal mode, and helpers to write answers and read requests at
// message offsets.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "support/saved_globals.h"
#include "support/scripted_responder.h"
#include "tv_api/tv_inter.h"

namespace tvtest {

// An answer of `total_len` bytes (checksum included) whose fields are set at message offsets.
class reply {
public:
    explicit reply(std::size_t total_len) : payload_(total_len - TV_HDR_LEN - TV_CHKSUM_LEN) {}
    reply& u8(std::size_t off, std::uint8_t v) {
        tv::wire::put_u8(payload_, off - TV_HDR_LEN, v);
        return *this;
    }
    reply& be32(std::size_t off, std::uint32_t v) {
        tv::wire::put_be32(payload_, off - TV_HDR_LEN, v);
        return *this;
    }
    reply& raw(std::size_t off, const bytes& b) {
        tv::wire::put_bytes(payload_, off - TV_HDR_LEN, b.data(), b.size());
        return *this;
    }
    step with_status(std::uint8_t status) const {
        step s = answer(payload_);
        s.status = status;
        return s;
    }
    operator step() const { return answer(payload_); }

private:
    bytes payload_;
};

// A refusal: the status byte set, nothing else.
inline step refused(std::uint8_t status = 0x42) {
    return reply(TV_MIN_MSG_LEN).with_status(status);
}

// A port-count answer: n ports, port i of type types[i]; or as many ports as there are types.
inline reply port_types(std::uint8_t n, const bytes& types = {}) {
    reply r(52);
    r.u8(20, n).raw(24, types);
    return r;
}
inline reply port_types(const bytes& types) { return port_types(static_cast<std::uint8_t>(types.size()), types); }

// A port-state answer for n ports, its arrays (n bytes each from offset 24) all zero.
inline reply port_states(std::uint8_t n) {
    reply r(196);
    r.u8(20, n);
    return r;
}

// The port half of a name-server answer: the port's address, nothing else.
inline reply name_server_port(std::uint32_t id) {
    reply r(520);
    r.u8(29, static_cast<std::uint8_t>(id >> 16)).u8(30, static_cast<std::uint8_t>(id >> 8))
        .u8(31, static_cast<std::uint8_t>(id));
    return r;
}

// A name-server answer that says the query failed, for `reason`.
inline reply name_server_refusal(std::uint8_t reason) {
    reply r(520);
    r.u8(21, 1).u8(23, reason);
    return r;
}

class switch_test : public ::testing::Test {
protected:
    explicit switch_test(const char* ip) : sw{ip}, ip_{ip} {}

    void SetUp() override {
        Discover = 0;
        Long_Poll = 0;
        g_ip_timeout = 70;
        g_timeout = 500;
        tv_api_open(nullptr);  // keep "Time out in select" out of the test output
        ctx = tv_open(ip_);
        ASSERT_NE(nullptr, ctx);
    }
    void TearDown() override { tv_close(ctx); }

    bytes request(std::size_t i) const { return sw.received().at(i); }
    // The sub-command word of every request that reached the switch, in order.
    std::vector<std::uint32_t> subcommands() const {
        std::vector<std::uint32_t> out;
        for (const auto& r : sw.received()) out.push_back(tv::wire::get_be32(r, tv::off::subcmd));
        return out;
    }
    static std::uint8_t at(const bytes& msg, std::size_t off) { return tv::wire::get_u8(msg, off); }
    static std::string_view text_at(const bytes& msg, std::size_t off, std::size_t width) {
        if (!tv::wire::fits(msg, off, width)) return {};
        return {reinterpret_cast<const char*>(msg.data()) + off, width};
    }

    saved_globals globals_;  // first made, last gone: whatever a test changes is put back
    scripted_responder sw;
    tv_context* ctx = nullptr;

private:
    const char* ip_;
};

}  // namespace tvtest
