// Registration as a trap listener (see registration.h).
#include "telvard/events/registration.h"

#include <algorithm>
#include <vector>

#include "tv_api/trap_listeners.h"

namespace telvar::events {

namespace {

// Points the context at one switch of its fabric for the life of the object, and back after.
class addressing {
public:
    addressing(tv_context* ctx, std::uint32_t switch_fc) : ctx_(ctx), back_(ctx->dest_fc_addr) {
        if (switch_fc != 0) tv_set_dest_addr(ctx, switch_fc);
    }
    ~addressing() { ctx_->dest_fc_addr = back_; }
    addressing(const addressing&) = delete;
    addressing& operator=(const addressing&) = delete;

private:
    tv_context* ctx_;
    std::uint32_t back_;
};

}  // namespace

in_addr listener_address(const tv_context* ctx, in_addr local_ip) {
    if (local_ip.s_addr != htonl(INADDR_ANY)) return local_ip;
    in_addr toward{};
    toward.s_addr = tv_get_local_ipaddr(&ctx->remote_addr.sin_addr.s_addr);
    return toward;
}

registration_result ensure_registered(tv_context* ctx, std::uint32_t switch_fc, in_addr local_ip,
                                      std::uint16_t port) {
    const in_addr self = listener_address(ctx, local_ip);
    const addressing at(ctx, switch_fc);
    std::vector<tv::trap_listener_entry> table;
    if (const std::int32_t status = tv::read_trap_listeners(ctx, table); status != TV_OK) return {status, false};
    const auto ours = [&](const tv::trap_listener_entry& e) { return e.addr == self.s_addr && e.port == port; };
    if (std::any_of(table.begin(), table.end(), ours)) return {TV_OK, false};
    const std::int32_t status = tv_set_trap_listener(ctx, self.s_addr, port, 0);
    return {status, status == TV_OK};
}

std::int32_t unregister(tv_context* ctx, std::uint32_t switch_fc, in_addr local_ip, std::uint16_t port) {
    const in_addr self = listener_address(ctx, local_ip);
    const addressing at(ctx, switch_fc);
    return tv_set_trap_listener(ctx, self.s_addr, port, 1);
}

}  // namespace telvar::events
