// Chassis-wide commands. Resetting a switch: a bare 16-byte header sent once. The switch
// restarts instead of answering, so there is no exchange; the checksum takes the place of the
// sequence number, and the context forgets its last good exchange because the switch's state
// went with the reset.
#include <array>

#include "chassis_layout.h"
#include "tv_inter.h"

namespace {

namespace L = tv::layout::chassis;

std::array<std::uint8_t, L::reset_len> m_simple_cmd;

int32_t switch_reset(tv_context* ctx) {
    tv::build_request(ctx, m_simple_cmd, TV_CMD_SWITCH_RESET);
    tv::set_checksum(m_simple_cmd);
    if (tv::send_datagram(ctx, m_simple_cmd) == -1) return TV_ERR_SEND;
    ctx->last_activity = 0;
    return TV_OK;
}

}  // namespace

extern "C" int32_t tv_switch_reset(tv_context* ctx) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    // Success leaves the status code as it was: nothing was exchanged.
    const int32_t code = switch_reset(ctx);
    return code == TV_OK ? code : tv::publish(code);
}
