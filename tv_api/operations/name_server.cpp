// Name server and initiators: one name-server object in two queries, the walk over the whole
// name server, the switch's initiator table and the port WWN derived from a node WWN.
//
// The walk asks for the object after the last one it got until the switch reports no more or
// comes back to an object already listed. It decodes each object straight into its list, grows
// the list geometrically and keeps the addresses it has seen sorted beside it, so that telling
// whether it has come round costs a comparison for the ten-thousandth object as for the first;
// what the caller gets is the defined list, count objects in the order the switch gave them.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "proto/name_server/decode.h"
#include "tv_api/alloc.h"
#include "tv_api/operations/name_server_query.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::name_server;

static_assert(sizeof(tv_nameserver_entry) == 584, "a name-server record is 584 bytes");
static_assert(sizeof(tv_initiators) == 356, "the initiator record is 356 bytes");
static_assert(TV_MAX_INITIATORS == L::initiators::max, "the record holds what the answer holds");

thread_local std::array<std::uint8_t, L::msg_len> m_sns_req;
thread_local std::array<std::uint8_t, L::msg_len> m_sns_port_ret;
thread_local std::array<std::uint8_t, L::msg_len> m_sns_node_ret;

struct free_deleter {
    void operator()(void* p) const { std::free(p); }
};
using entry_ptr = std::unique_ptr<tv_nameserver_entry, free_deleter>;

// The object at port_id, or after it, decoded into a zeroed `out`; `found` is false (status 0)
// when there is none. Each half is answered into its module buffer.
int32_t fetch_object(tv_context* ctx, uint32_t port_id, bool next, tv_nameserver_entry& out,
                     bool& found) {
    found = false;
    tv::ns_object_query q(port_id, next);
    q.request(ctx, m_sns_req);
    if (const int32_t code = tv::exchange(ctx, m_sns_req, m_sns_port_ret).status) return code;
    if (const int32_t code = q.take(m_sns_port_ret, out, found); code != tv::ns_object_query::more) return code;
    q.request(ctx, m_sns_req);
    if (const int32_t code = tv::exchange(ctx, m_sns_req, m_sns_node_ret).status) return code;
    return q.take(m_sns_node_ret, out, found);
}

// The object in a record of its own for the caller to free; null (status 0) when there is none.
int32_t snsgetall(tv_context* ctx, uint32_t port_id, entry_ptr& result, bool next) {
    result.reset();
    entry_ptr e{static_cast<tv_nameserver_entry*>(tv::alloc_zeroed(1, sizeof(tv_nameserver_entry)))};
    bool found = false;
    const int32_t code = e ? fetch_object(ctx, port_id, next, *e, found) : TV_ERR_ALLOC;
    if (code == TV_OK && found) result = std::move(e);
    return code;
}

void release(tv_nameserver_list& list) {
    std::free(list.entries);
    list.entries = nullptr;
    list.count = 0;
}

// The addresses a walk has listed. A switch answers in address order, so a new address is
// nearly always the largest yet and is appended; any other is found or placed by search.
class seen_addresses {
public:
    // Adds the address; false when it was there already.
    bool insert(uint32_t id) {
        if (sorted_.empty() || id > sorted_.back()) {
            sorted_.push_back(id);
            return true;
        }
        const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), id);
        if (it != sorted_.end() && *it == id) return false;
        sorted_.insert(it, id);
        return true;
    }

private:
    std::vector<uint32_t> sorted_;
};

// The list grows geometrically; each object of the walk is copied into its next slot.
int32_t walk(tv_context* ctx, tv_nameserver_list& list) {
    std::size_t capacity = 0;
    return tv::walk_nameserver(ctx, [&](const tv_nameserver_entry& e) {
        if (static_cast<std::size_t>(list.count) == capacity) {
            capacity = capacity ? 2 * capacity : 64;
            void* grown = tv::regrow(list.entries, capacity * sizeof(tv_nameserver_entry));
            if (grown == nullptr) return false;
            list.entries = static_cast<tv_nameserver_entry*>(grown);
        }
        list.entries[list.count++] = e;
        return true;
    });
}

int32_t get_nameserverdata(tv_context* ctx, tv_nameserver_list& list) {
    list.count = 0;
    list.entries = nullptr;
    int32_t code = TV_ERR_ALLOC;
    try {
        code = walk(ctx, list);
    } catch (const std::bad_alloc&) {
    }
    if (code != TV_OK) release(list);
    return code;
}

int32_t calc_portwwn(uint8_t* port_wwn, const uint8_t* node_wwn, uint32_t port) {
    const auto p = static_cast<std::uint8_t>(port);
    const unsigned naa = node_wwn ? node_wwn[0] >> 4 : 0;
    if (naa != 1 && naa != 5) {
        std::memset(port_wwn, 0, 8);
        return TV_ERR_PARAM;
    }
    std::memcpy(port_wwn, node_wwn, 8);
    if (naa == 1) {
        port_wwn[0] = 0x20;
        port_wwn[1] = p;
    } else {
        port_wwn[0] = 0x30;
        port_wwn[1] = 0;
        port_wwn[2] = static_cast<std::uint8_t>(p >> 4);
        port_wwn[3] = static_cast<std::uint8_t>((port_wwn[3] & 0x0F) | (p << 4));
    }
    return TV_OK;
}

}  // namespace

namespace tv {

void ns_object_query::request(tv_context* ctx, wire::bytes req) const {
    build_request(ctx, req, TV_CMD_NAME_SERVER);
    wire::put_be32(req, L::query_at, next_ ? L::query::next : L::query::object);
    wire::put_be16(req, L::half_at, node_half_ ? L::half::node : L::half::port);
    wire::put_be32(req, L::port_id_at, port_id_);
}

int32_t ns_object_query::take(wire::cbytes answer, tv_nameserver_entry& out, bool& found) {
    found = false;
    if (!node_half_) {
        if (const ns_refusal r = decode_ns_refusal(answer); r.refused) return r.end_of_list() ? TV_OK : TV_ERR_SWITCH;
        std::copy_n(answer.begin(), std::min(answer.size(), port_half_.size()), port_half_.begin());
        node_half_ = true;
        return more;
    }
    decode_ns_entry(port_half_, answer, out);
    found = true;
    return TV_OK;
}

int32_t walk_nameserver(tv_context* ctx, const std::function<bool(const tv_nameserver_entry&)>& visit) {
    seen_addresses seen;
    tv_nameserver_entry e;
    uint32_t address = 0;
    for (;;) {
        std::memset(&e, 0, sizeof e);
        bool found = false;
        if (const int32_t code = fetch_object(ctx, address, true, e, found); code != TV_OK) return code;
        // No more objects, or the walk has come round to one it already listed.
        if (!found || !seen.insert(e.port_id)) return TV_OK;
        if (!visit(e)) return TV_ERR_ALLOC;
        address = e.port_id;
    }
}

int32_t get_nameserverentry(tv_context* ctx, std::uint32_t port_id, tv_nameserver_entry& entry) {
    std::memset(&entry, 0, sizeof entry);
    bool found = false;
    if (const int32_t code = fetch_object(ctx, port_id, false, entry, found); code != TV_OK)
        return code;
    return found ? TV_OK : TV_ERR_PARAM;
}

int32_t get_next_nameserverentry(tv_context* ctx, std::uint32_t port_id, tv_nameserver_entry& entry,
                                 bool& found) {
    std::memset(&entry, 0, sizeof entry);
    return fetch_object(ctx, port_id, true, entry, found);
}

int32_t get_initiators(tv_context* ctx, tv_initiators& initiators) {
    namespace I = L::initiators;
    std::memset(&initiators, 0, sizeof initiators);
    int32_t decoded = TV_OK;
    const int32_t code = config_query<I::req_len, I::ret_len>(ctx, I::subcmd, [&](wire::cbytes r) {
        // A count beyond the room of the answer is a broken answer, not 16 initiators.
        if (!decode_initiators(r, initiators)) decoded = TV_ERR_SWITCH;
    });
    return code != TV_OK ? code : decoded;
}

}  // namespace tv

extern "C" {

int32_t tv_snsgetall(tv_context* ctx, uint32_t port_id, tv_nameserver_entry** result,
                     int32_t next) {
    if (ctx == nullptr || result == nullptr) return tv::publish(TV_ERR_PARAM);
    entry_ptr e;
    const int32_t code = snsgetall(ctx, port_id, e, next != 0);
    *result = e.release();
    return tv::publish(code);
}

int32_t tv_get_nameserverdata(tv_context* ctx, tv_nameserver_list* list) {
    if (ctx == nullptr || list == nullptr) return tv::publish(TV_ERR_PARAM);
    const int32_t status = tv::status_without_throwing(
        TV_ERR_ALLOC, [&] { return get_nameserverdata(ctx, *list); });
    if (status == TV_ERR_ALLOC) release(*list);  // a failure leaves the list empty
    return tv::publish(status);
}

void tv_free_nameserverdata(tv_nameserver_list* list) {
    if (list != nullptr) release(*list);
}

int32_t tv_get_nameserverentry(tv_context* ctx, uint32_t port_id, tv_nameserver_entry* entry) {
    if (ctx == nullptr || entry == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::get_nameserverentry(ctx, port_id, *entry));
}

int32_t tv_get_initiators(tv_context* ctx, tv_initiators* initiators) {
    if (ctx == nullptr || initiators == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::get_initiators(ctx, *initiators));
}

int32_t tv_calc_portwwn(uint8_t* port_wwn, const uint8_t* node_wwn, uint32_t port) {
    if (port_wwn == nullptr) return tv::publish(TV_OK);
    return tv::publish(calc_portwwn(port_wwn, node_wwn, port));
}

}  // extern "C"
