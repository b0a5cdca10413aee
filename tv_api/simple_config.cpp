// Bare sub-commands: a 24-byte request that carries nothing but its sub-command word, answered
// into the same module-static buffer. Saving zones, saving the active configuration, reading
// the chassis mode and stopping a test all send one.
#include <algorithm>
#include <array>

#include "tv_api/tv_inter.h"

namespace {

thread_local std::array<std::uint8_t, 24> m_simple_subcmd;

}  // namespace

namespace tv {

int32_t simple_subcmd(tv_context* ctx, std::uint16_t command, std::uint32_t subcmd) {
    build_request(ctx, m_simple_subcmd, command);
    wire::put_be32(m_simple_subcmd, off::subcmd, subcmd);
    // Request and answer share the buffer: it must not be cleared before the exchange.
    return exchange_in_place(ctx, m_simple_subcmd, m_simple_subcmd.size()).status;
}

int32_t simple_config_cmd(tv_context* ctx, std::uint32_t subcmd) {
    const int32_t status = simple_subcmd(ctx, TV_CMD_CONFIG, subcmd);
    if (status == TV_OK) log_info("tv_simple_config_cmd: success\n");
    return status;
}

}  // namespace tv

extern "C" int32_t tv_simple_config_cmd(tv_context* ctx, uint32_t subcmd) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::simple_config_cmd(ctx, subcmd));
}
