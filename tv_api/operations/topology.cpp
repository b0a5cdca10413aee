// Topology, links and routing: the topology table of a switch, the loop status of a port, the
// node-name query, the routing table, and the list of a switch's inter-switch links with the
// WWN of the switch at the far end of each.
//
// The topology and loop-status answers stay in module-static buffers because the port status
// reads them after these calls. The link list visits each remote switch through the same
// context by changing the destination FC address to it and back, so the context addresses the
// local end of the last link afterwards. Entries are read through topology_decode.h, so a
// switch that claims more entries than a page holds can never move a read past the message,
// and the list never holds more links than the room allocated for the claimed count.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "proto/name_server/layout.h"
#include "proto/topology/decode.h"
#include "tv_api/alloc.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::topology;
namespace NS = tv::layout::name_server;

thread_local std::array<std::uint8_t, L::req_len> m_topology_req;
thread_local std::array<std::uint8_t, L::topo::ret_len> m_topology_ret;
thread_local std::array<std::uint8_t, L::req_len> m_al_port_stat_req;
thread_local std::array<std::uint8_t, L::al::ret_len> m_al_port_stat_ret;
thread_local std::array<std::uint8_t, L::req_len> m_port_steering_req;
thread_local std::array<std::uint8_t, L::steering::ret_len> m_port_steering_ret;
thread_local std::array<std::uint8_t, NS::msg_len> m_name_server_req;
thread_local std::array<std::uint8_t, NS::msg_len> m_name_server_ret;

static_assert(sizeof(tv_switch_link) == 28, "a link record is 28 bytes");

tv::exchanged get_node_name(tv_context* ctx, uint32_t value) {
    tv::build_request(ctx, m_name_server_req, TV_CMD_NAME_SERVER);
    tv::wire::put_be32(m_name_server_req, NS::query_at, NS::query::node_name);
    tv::wire::put_be32(m_name_server_req, NS::port_id_at, value);
    return tv::exchange(ctx, m_name_server_req, m_name_server_ret);
}

int32_t get_port_steering(tv_context* ctx, uint32_t port, tv_port_steering& steering) {
    tv::build_config_request(ctx, m_port_steering_req, L::subcmd::port_steering);
    tv::wire::put_u8(m_port_steering_req, L::port_at, static_cast<std::uint8_t>(port));
    if (const tv::exchanged x = tv::exchange(ctx, m_port_steering_req, m_port_steering_ret);
        !x.ok())
        return x.status;
    if (const int32_t code = tv::get_topology(ctx, 0); code != TV_OK) return code;
    steering.fc_addr = tv::decode_topology_head(m_topology_ret).fc_addr;
    tv::decode_port_steering(m_port_steering_ret, steering);
    return TV_OK;
}

// Reads the remote switch's WWN into the link through the context, then points the context
// at the link's local end again. Returns the version read's status.
int32_t visit_remote(tv_context* ctx, tv_switch_link& link) {
    tv::set_dest_addr(ctx, link.remote_fc_addr);
    tv_version_info remote{};
    const int32_t code = tv::get_version(ctx, remote);
    if (code == TV_OK) std::memcpy(link.remote_wwn, remote.wwn, sizeof link.remote_wwn);
    tv::set_dest_addr(ctx, link.local_fc_addr);
    return code;
}

int32_t get_switch_links(tv_context* ctx, tv_switch_links& links) {
    tv_version_info version{};
    if (const int32_t code = tv::get_version(ctx, version); code != TV_OK) return code;
    std::memcpy(links.wwn, version.wwn, sizeof links.wwn);

    // The counters are 8-bit like the count the switch reports; done never passes total.
    std::uint8_t done = 0, total = L::topo::per_page, found = 0;
    int32_t status = TV_OK;  // of the last exchange, which is what the walk reports
    while (done < total) {
        status = tv::get_topology(ctx, 0);
        if (status != TV_OK) break;
        if (done == 0) {
            const tv::topology_head head = tv::decode_topology_head(m_topology_ret);
            total = head.count;
            links.info1 = head.info1;
            links.info2 = head.info2;
            links.fc_addr = head.fc_addr;
            links.links = static_cast<tv_switch_link*>(
                tv::alloc_zeroed(std::max<std::size_t>(total, 1), sizeof(tv_switch_link)));
            if (links.links == nullptr) return TV_ERR_ALLOC;
        }
        const std::uint8_t n = tv::page_entries(total, done);
        for (std::uint8_t i = 0; i < n; ++i) {
            tv_switch_link link = tv::decode_topology_entry(m_topology_ret, i, done + i);
            if (link.remote_fc_addr == 0) continue;
            // A failed remote read keeps the link, with a zero WWN.
            status = visit_remote(ctx, link);
            links.links[found++] = link;
        }
        done = static_cast<std::uint8_t>(done + n);
    }
    if (done < total) {
        // A page failed: nothing of a partial list is kept, and count stays as it was.
        std::free(links.links);
        links.links = nullptr;
        return status;
    }
    links.count = found;
    return status;
}

}  // namespace

namespace tv {

int32_t get_topology(tv_context* ctx, std::uint8_t port) {
    build_config_request(ctx, m_topology_req, L::subcmd::topology);
    wire::put_u8(m_topology_req, L::port_at, port);
    return exchange(ctx, m_topology_req, m_topology_ret).status;
}

wire::cbytes topology_response() { return m_topology_ret; }

int32_t get_al_port_status(tv_context* ctx, std::uint32_t port) {
    // The request is rewritten field by field, never cleared: every field it has is written.
    write_header(ctx, m_al_port_stat_req, TV_CMD_CONFIG, m_al_port_stat_req.size());
    wire::put_be32(m_al_port_stat_req, off::subcmd, L::subcmd::al_port_status);
    wire::put_u8(m_al_port_stat_req, L::port_at, static_cast<std::uint8_t>(port));
    return exchange(ctx, m_al_port_stat_req, m_al_port_stat_ret).status;
}

wire::cbytes al_port_status_response() { return m_al_port_stat_ret; }

}  // namespace tv

extern "C" {

int32_t tv_get_topology(tv_context* ctx, uint8_t port) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::get_topology(ctx, port));
}

int32_t tv_get_al_port_status(tv_context* ctx, uint32_t port) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::get_al_port_status(ctx, port));
}

int32_t tv_get_node_name(tv_context* ctx, uint32_t value) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM), 0;
    const tv::exchanged x = get_node_name(ctx, value);
    tv::publish(x.status);
    return x.length;
}

int32_t tv_get_port_steering(tv_context* ctx, uint32_t port, tv_port_steering* steering) {
    if (ctx == nullptr || steering == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_port_steering(ctx, port, *steering));
}

int32_t tv_get_switch_links(tv_context* ctx, tv_switch_links* links) {
    if (ctx == nullptr || links == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_switch_links(ctx, *links));
}

void tv_free_switch_links(tv_switch_links* links) {
    if (links == nullptr) return;
    std::free(links->links);
    links->links = nullptr;
}

}  // extern "C"
