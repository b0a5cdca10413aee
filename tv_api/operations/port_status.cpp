// Port status aggregation: what is attached to one port, in one call. The port-state vector
// gives the port's type and whether anything is logged in; then a T_Port's link is followed to
// the switch at its far end (through the same context, addressed to that switch and back), an
// F_Port's device is looked up in the name server, and a loop's devices are listed with their
// WWNs from the name server or, on an SL_Port, from the switch's initiator table.
//
// A missing name-server object never fails the call; a failed exchange for the state, the
// topology, a version, the network settings, the loop status or the initiators does.
#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

#include "proto/topology/decode.h"
#include "tv_api/operations/port_status_decode.h"
#include "tv_api/tv_inter.h"

namespace {

using tv::layout::topology::device_addr;

int32_t t_port_detail(tv_context* ctx, std::uint32_t port, tv_port_status& st) {
    if (const int32_t code = tv::get_topology(ctx, 0); code != TV_OK) return code;
    // The first page holds ports 0 to 15. A port beyond it, or one whose link the table does not
    // show, names no switch: nothing is addressed rather than FC address 0.
    const std::uint32_t remote = tv::decode_topology_entry(tv::topology_response(), port, port).remote_fc_addr;
    if (remote == 0) return TV_OK;
    st.t_port.remote_fc_addr = remote;
    tv::set_dest_addr(ctx, remote);
    tv_version_info version{};
    int32_t code = tv::get_version(ctx, version);
    if (code == TV_OK) {
        std::memcpy(st.t_port.remote_wwn, version.wwn, sizeof st.t_port.remote_wwn);
        tv_net_config net{};
        code = tv::get_net_config(ctx, net);
        if (code == TV_OK) st.t_port.remote_ip = htonl(net.ip_addr);
    }
    tv::restore_dest_addr(ctx);
    return code;
}

// Where the devices' WWNs come from: the name server, object by object, or what the caller
// already holds of it.
struct wwn_source {
    tv::device_wwns known_wwns = nullptr;
    const void* known = nullptr;

    // Copies the object's WWNs when there is one at port_id; anything else leaves them zero,
    // and is no failure.
    void copy(tv_context* ctx, std::uint32_t port_id, std::uint8_t* port_wwn, std::uint8_t* node_wwn) const {
        if (known_wwns != nullptr) {
            known_wwns(known, port_id, port_wwn, node_wwn);
            return;
        }
        tv_nameserver_entry entry;
        if (tv::get_nameserverentry(ctx, port_id, entry) != TV_OK) return;
        std::memcpy(port_wwn, entry.port_wwn, 8);
        std::memcpy(node_wwn, entry.node_wwn, 8);
    }
};

int32_t f_port_detail(tv_context* ctx, std::uint32_t port, tv_port_status& st, const wwn_source& wwns) {
    tv_version_info version{};
    if (const int32_t code = tv::get_version(ctx, version); code != TV_OK) return code;
    st.f_port.port_id = device_addr(version.ver_info3, port, 0);
    wwns.copy(ctx, st.f_port.port_id, st.f_port.port_wwn, st.f_port.node_wwn);
    return TV_OK;
}

int32_t loop_detail(tv_context* ctx, std::uint32_t port, tv_port_status& st, const wwn_source& wwns) {
    if (const int32_t code = tv::get_al_port_status(ctx, port); code != TV_OK) return code;
    const bool sl = st.type == TV_PORT_TYPE_SL;
    tv_initiators initiators{};
    if (sl)
        if (const int32_t code = tv::get_initiators(ctx, initiators); code != TV_OK) return code;
    const tv::wire::cbytes al = tv::al_port_status_response();
    if (const int32_t code = tv::decode_loop_devices(al, st); code != TV_OK) return code;
    if (sl) {
        tv::match_initiators(initiators, st);
        return TV_OK;
    }
    const std::uint32_t base = tv::decode_al_loop(al).base_addr;
    for (std::uint32_t i = 0; i < st.loop.count; ++i)
        wwns.copy(ctx, device_addr(base, port, st.loop.alpas[i]), st.loop.port_wwns[i], st.loop.node_wwns[i]);
    return TV_OK;
}

}  // namespace

namespace tv {

int32_t get_port_status(tv_context* ctx, std::uint32_t port, tv_port_status& st, device_wwns wwns_of,
                        const void* known) {
    const wwn_source wwns{wwns_of, known};
    std::memset(&st, 0, sizeof st);
    if (const int32_t code = tv::refresh_port_state(ctx); code != TV_OK) return code;
    // A port beyond the switch's count has no entry in the vector.
    if (!tv::decode_port_fixed(tv::port_state_response(), port, st)) {
        st.port = port;
        return TV_ERR_PARAM;
    }
    if (st.operational == TV_PORT_STATE_OFF || st.logged_in == 0) return TV_OK;
    switch (st.type) {
        case TV_PORT_TYPE_T: return t_port_detail(ctx, port, st);
        case TV_PORT_TYPE_F: return f_port_detail(ctx, port, st, wwns);
        default: return loop_detail(ctx, port, st, wwns);
    }
}

}  // namespace tv

extern "C" {

int32_t tv_get_port_status(tv_context* ctx, uint32_t port, tv_port_status* status) {
    if (ctx == nullptr || status == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::get_port_status(ctx, port, *status));
}

// Every type whose detail is the loop detail may hold arrays, not only the loop types: a type
// code the switch should not report (0, above 5) gets the loop detail too.
void tv_free_port_status(tv_port_status* status) {
    if (status == nullptr || !tv::has_loop_detail(status->type)) return;
    std::free(status->loop.alpas);
    std::free(status->loop.port_wwns);
    std::free(status->loop.node_wwns);
    status->loop.alpas = nullptr;
    status->loop.port_wwns = nullptr;
    status->loop.node_wwns = nullptr;
}

}  // extern "C"
