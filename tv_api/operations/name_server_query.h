// One name-server object query, the object at an address or the next one after it, as the two
// exchanges it takes: the port half, then (unless the switch refused) the node half. The
// library's own reads make the exchanges one after the other; a side-by-side read of the name
// server in ranges (lanes.cpp) makes them from its loop, without a thread for each range.
#pragma once

#include <array>
#include <cstdint>

#include "proto/name_server/layout.h"
#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tv {

class ns_object_query {
public:
    // What take() says when the node half is to be asked next.
    static constexpr int32_t more = -1;

    ns_object_query(std::uint32_t port_id, bool next) : port_id_(port_id), next_(next) {}

    // Writes the request of the half to ask now (a new sequence number) into `req`.
    void request(tv_context* ctx, wire::bytes req) const;
    // The answer of that half: `more`, or the query's status with `found` (status 0, false when
    // there is no such object) and, once found, the object decoded into a zeroed `out`.
    int32_t take(wire::cbytes answer, tv_nameserver_entry& out, bool& found);

private:
    std::uint32_t port_id_;
    bool next_;
    bool node_half_ = false;
    std::array<std::uint8_t, layout::name_server::msg_len> port_half_{};
};

}  // namespace tv
