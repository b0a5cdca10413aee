// Keeping the watcher registered as a trap listener with each switch it watches.
//
// Every interval the watcher asks ensure_registered() about each switch: one read of the
// switch's listener table when the registration is there, and a registration only when it is
// missing, so that a switch reset or a lost registration is mended by the next interval
// without adding a second entry. The switches of a fabric are reached through its one context
// by FC address, as the fabric walk reaches them. A switch that requires a login answers only
// a logged-in context (status 202 otherwise): where logins are needed, the caller checks the
// registration while it holds one, as during the reading's walk.
#pragma once

#include <netinet/in.h>

#include <cstdint>

#include "telvar/tv_api.h"

namespace telvar::events {

struct registration_result {
    std::int32_t status = TV_OK;  // of the read or of the registration that failed
    bool registered = false;      // it was missing and has been made now
};

// The address a listener registers with the switch the context reaches: `local_ip` when it is
// a real address (the receiver is bound to one), else the one this host uses to reach the
// context's switch (an address chosen as the context's own local address is).
in_addr listener_address(const tv_context* ctx, in_addr local_ip);

// Makes sure the switch at FC address `switch_fc` (0: the switch the context addresses) has
// listener_address(ctx, local_ip):port in its listener table. The context addresses what it
// did before on return.
registration_result ensure_registered(tv_context* ctx, std::uint32_t switch_fc, in_addr local_ip,
                                      std::uint16_t port);

// Removes that registration (at shutdown); the status of the removal.
std::int32_t unregister(tv_context* ctx, std::uint32_t switch_fc, in_addr local_ip, std::uint16_t port);

}  // namespace telvar::events
