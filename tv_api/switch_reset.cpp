// Resetting a switch: a bare 16-byte header sent once. The switch restarts instead of
// answering, so there is no exchange; the checksum takes the place of the sequence number, and
// the context forgets its last good exchange because the switch's state went with the reset.
#include <array>

#include "tv_inter.h"

namespace {
std::array<std::uint8_t, TV_HDR_LEN> m_simple_cmd;
}  // namespace

extern "C" int32_t tv_switch_reset(tv_context* ctx) {
    if (ctx == nullptr) return tv::fail(TV_ERR_PARAM);
    tv::build_request(ctx, m_simple_cmd, TV_CMD_SWITCH_RESET);
    tv_set_chksum(m_simple_cmd.data(), static_cast<int32_t>(m_simple_cmd.size()));
    if (tv_send(ctx, m_simple_cmd.data(), static_cast<int32_t>(m_simple_cmd.size())) == -1)
        return tv::fail(TV_ERR_SEND);
    ctx->last_activity = 0;
    return TV_OK;
}
