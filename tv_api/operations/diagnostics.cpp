// Port diagnostics: a port's error and traffic counters, and the switch's online port test
// (reset its log, start it, stop it, read how it stands).
//
// The counter read is a configuration request (command 0x30); the test operations belong to
// the online-test command 0x31, whose requests carry their sub-command word at offset 16 just
// as configuration requests do. A failed exchange leaves the caller's record untouched: the
// answers are read only once the exchange succeeded, through diag_decode.h.
#include <array>

#include "proto/diag/decode.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::diag;

thread_local std::array<std::uint8_t, L::counters::req_len> m_get_cnts_req;
thread_local std::array<std::uint8_t, L::counters::ret_len> m_get_cnts_ret;
thread_local std::array<std::uint8_t, L::reset_log_len> m_reset_log_req;
thread_local std::array<std::uint8_t, L::reset_log_len> m_reset_log_ret;
thread_local std::array<std::uint8_t, L::start::len> m_start_test_req;
thread_local std::array<std::uint8_t, L::start::len> m_start_test_ret;
thread_local std::array<std::uint8_t, L::status::req_len> m_test_status_req;
thread_local std::array<std::uint8_t, L::status::ret_len> m_test_status_ret;

// Clears `msg` and writes the header of an online-test request and its sub-command word.
void build_test_request(tv_context* ctx, tv::wire::bytes msg, std::uint32_t subcmd) {
    tv::build_request(ctx, msg, TV_CMD_ONLINE_TEST);
    tv::wire::put_be32(msg, tv::off::subcmd, subcmd);
}

int32_t get_port_counters(tv_context* ctx, std::uint8_t port, tv_port_counters& counters) {
    tv::build_config_request(ctx, m_get_cnts_req, L::subcmd::port_counters);
    tv::wire::put_u8(m_get_cnts_req, L::port_at, port);
    log_info("\n------\nreq seq: %d\n", static_cast<int>(tv_get_seq_num(m_get_cnts_req.data())));
    const tv::exchanged x = tv::exchange(ctx, m_get_cnts_req, m_get_cnts_ret);
    if (x.ok()) tv::decode_port_counters(m_get_cnts_ret, counters);
    return x.status;
}

int32_t reset_log(tv_context* ctx) {
    build_test_request(ctx, m_reset_log_req, L::subcmd::reset_log);
    const tv::exchanged x = tv::exchange(ctx, m_reset_log_req, m_reset_log_ret);
    if (x.ok()) log_info("Test log reset\n");
    return x.status;
}

int32_t start_test(tv_context* ctx, std::uint32_t port, std::uint32_t transfer_size,
                   std::uint32_t passes, std::uint32_t pattern) {
    namespace S = L::start;
    build_test_request(ctx, m_start_test_req, L::subcmd::start_test);
    // Port -1 (all ports) goes out as its low byte, 0xFF.
    tv::wire::put_u8(m_start_test_req, L::port_at, static_cast<std::uint8_t>(port));
    tv::wire::put_u8(m_start_test_req, S::flag1, 1);
    tv::wire::put_u8(m_start_test_req, S::flag2, 1);
    // The wire order is size, pattern, passes.
    tv::wire::put_be32(m_start_test_req, S::transfer_size, transfer_size);
    tv::wire::put_be32(m_start_test_req, S::pattern, pattern);
    tv::wire::put_be32(m_start_test_req, S::passes, passes);
    return tv::exchange(ctx, m_start_test_req, m_start_test_ret).status;
}

int32_t test_status(tv_context* ctx, tv_test_status_info& status) {
    build_test_request(ctx, m_test_status_req, L::subcmd::test_status);
    const tv::exchanged x = tv::exchange(ctx, m_test_status_req, m_test_status_ret);
    if (x.ok()) tv::decode_test_status(m_test_status_ret, status);
    return x.status;
}

}  // namespace

extern "C" {

int32_t tv_get_port_counters(tv_context* ctx, uint8_t port, tv_port_counters* counters) {
    if (ctx == nullptr || counters == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_port_counters(ctx, port, *counters));
}

int32_t tv_reset_log(tv_context* ctx) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(reset_log(ctx));
}

int32_t tv_start_test(tv_context* ctx, uint32_t port, uint32_t transfer_size, uint32_t passes,
                      uint32_t pattern) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(start_test(ctx, port, transfer_size, passes, pattern));
}

int32_t tv_stop_test(tv_context* ctx) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::simple_subcmd(ctx, TV_CMD_ONLINE_TEST, L::subcmd::stop_test));
}

int32_t tv_test_status(tv_context* ctx, tv_test_status_info* status) {
    if (ctx == nullptr || status == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(test_status(ctx, *status));
}

}  // extern "C"
