// What the command layer and the diagnostic entry points use of the library's internals: a
// handful of helpers, so that neither reaches into the whole of tv_inter.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>

#include "telvar/tv_api.h"

namespace tv {

// Owns a context and closes it with `close` on every way out. One shape for every owner: the
// library's own close (which leaves the status code as it is) inside the library, tv_close
// for the exporter, close_ip_context for the command layer, whose close logs out of what the
// tool logged into.
template <auto close>
struct context_closer {
    void operator()(tv_context* ctx) const { close(ctx); }
};
template <auto close>
using owned_context = std::unique_ptr<tv_context, context_closer<close>>;

// The core of an entry point whose work uses the C++ heap (containers, texts): running out of
// memory there gives `out_of_memory` instead of an exception across the C interface.
template <class F>
int32_t status_without_throwing(int32_t out_of_memory, F&& core) noexcept {
    try {
        return core();
    } catch (const std::bad_alloc&) {
        return out_of_memory;
    }
}

// The leading decimal integer of a text as the C library's atoi reads it, saturated to the
// 32-bit range instead of overflowing; 0 for a null pointer or no digits.
int32_t to_int(const char* text);

// Walks the fabric's name server in address order, handing each object to `visit` once (the
// record is reused for the next object: copy what is needed); the walk ends after the last
// object or at one it has seen, and `visit` returning false ends it with 300. Returns the
// walk's status.
int32_t walk_nameserver(tv_context* ctx, const std::function<bool(const tv_nameserver_entry&)>& visit);

// The object after port_id into a zeroed entry (the core of tv_snsgetall with next, into the
// caller's record); `found` is false, status 0, when there is none.
int32_t get_next_nameserverentry(tv_context* ctx, std::uint32_t port_id, tv_nameserver_entry& entry,
                                 bool& found);

// The WWNs of the device at an FC address, from what a caller already read of the name server;
// false for an address it does not hold.
using device_wwns = bool (*)(const void* known, std::uint32_t port_id, std::uint8_t* port_wwn,
                             std::uint8_t* node_wwn);
// The core of tv_get_port_status. With `wwns_of` the devices' WWNs come from it instead of a
// name-server query each, so that a walk that has read the whole name server does not ask
// again for every device of every loop.
int32_t get_port_status(tv_context* ctx, std::uint32_t port, tv_port_status& status,
                        device_wwns wwns_of = nullptr, const void* known = nullptr);

}  // namespace tv
