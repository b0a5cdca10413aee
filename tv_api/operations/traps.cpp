// Trap configuration and trap events: reading, changing and saving the switch's trap
// configuration block, registering listeners, receiving trap messages on a listening context,
// moving a trap counter and sending a test alert to every registered listener.
//
// Every change of the configuration is a read of the whole current block, a change in memory
// and a write of the whole block, so the bytes this side does not interpret go back unchanged.
// The message buffers are local to each call.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "proto/traps/decode.h"
#include "tv_api/alloc.h"
#include "tv_api/trap_listeners.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::traps;
namespace w = tv::wire;
using block_t = std::array<std::uint8_t, L::block::len>;

void build_trap_request(tv_context* ctx, w::bytes msg, std::uint32_t subcmd) {
    tv::build_request(ctx, msg, TV_CMD_TRAP);
    w::put_be32(msg, tv::off::subcmd, subcmd);
}

int32_t download(tv_context* ctx, int32_t which, w::bytes block) {
    std::array<std::uint8_t, L::bare_len> req;
    std::array<std::uint8_t, L::read_msg::ret_len> resp;
    build_trap_request(ctx, req, which != 0 ? L::subcmd::read_saved : L::subcmd::read_current);
    const tv::exchanged x = tv::exchange(ctx, req, resp);
    if (!x.ok()) return x.status;
    // An answer too short to hold the block would read as zeros, and a read-modify-write would
    // then wipe the switch's configuration: refuse it as a switch error.
    if (x.length < static_cast<int32_t>(L::read_msg::ret_len)) return TV_ERR_SWITCH;
    w::get_bytes(resp, L::read_msg::block_at, block.data(), block.size());
    return TV_OK;
}

int32_t upload(tv_context* ctx, w::cbytes block) {
    std::array<std::uint8_t, L::write_msg::req_len> req;
    std::array<std::uint8_t, L::bare_len> resp;
    build_trap_request(ctx, req, L::subcmd::write);
    w::put_bytes(req, L::write_msg::block_at, block.data(), block.size());
    return tv::exchange(ctx, req, resp).status;
}

int32_t save(tv_context* ctx) {
    std::array<std::uint8_t, L::bare_len> req;
    std::array<std::uint8_t, L::bare_len> resp;
    build_trap_request(ctx, req, L::subcmd::save);
    return tv::exchange(ctx, req, resp).status;
}

// The write of a changed block, and its save when asked for and the write succeeded.
int32_t upload_and_save(tv_context* ctx, w::cbytes block, int32_t and_save) {
    const int32_t status = upload(ctx, block);
    return status == TV_OK && and_save != 0 ? save(ctx) : status;
}

int32_t get_all_trap_configs(tv_context* ctx, int32_t which, tv_trap_config_list& list) {
    list.count = 0;
    list.entries = nullptr;
    block_t block;
    if (const int32_t status = download(ctx, which, block); status != TV_OK) return status;
    auto* entries = static_cast<tv_trap_config*>(tv::alloc_zeroed(TV_TRAP_CODES, sizeof(tv_trap_config)));
    if (entries == nullptr) return TV_ERR_ALLOC;
    for (std::uint8_t i = 0; i < TV_TRAP_CODES; ++i) entries[i] = tv::decode_trap_config(block, i);
    list.count = TV_TRAP_CODES;
    list.entries = entries;
    return TV_OK;
}

int32_t get_trap_config(tv_context* ctx, int32_t which, int32_t code, tv_trap_config& config) {
    tv_trap_config_list list{};
    if (const int32_t status = get_all_trap_configs(ctx, which, list); status != TV_OK) return status;
    int32_t status = TV_ERR_PARAM;
    for (std::uint32_t i = 0; i < list.count; ++i)
        if (list.entries[i].code == code) {
            config = list.entries[i];
            status = TV_OK;
            break;
        }
    tv_free_trap_configs(&list);
    return status;
}

int32_t set_trap_config(tv_context* ctx, int32_t and_save, const tv_trap_config& config) {
    // The block has room for codes 0 to 31 only.
    if (config.code >= TV_TRAP_CODES) return TV_ERR_PARAM;
    block_t block;
    if (const int32_t status = download(ctx, 0, block); status != TV_OK) return status;
    tv::encode_trap_config(block, config);
    return upload_and_save(ctx, block, and_save);
}

int32_t get_trapping_status(tv_context* ctx, tv_trapping_status& status) {
    block_t block;
    const int32_t read = download(ctx, 0, block);
    if (read == TV_OK) status = tv::decode_trapping(block);
    return read;
}

int32_t set_trapping_status(tv_context* ctx, int32_t and_save, const tv_trapping_status& status) {
    block_t block;
    if (const int32_t read = download(ctx, 0, block); read != TV_OK) return read;
    tv::encode_trapping(block, status);
    return upload_and_save(ctx, block, and_save);
}

int32_t set_trap_listener(tv_context* ctx, uint32_t address, uint16_t port, int32_t remove) {
    namespace M = L::listener_msg;
    std::array<std::uint8_t, M::len> req;
    std::array<std::uint8_t, M::len> resp;
    build_trap_request(ctx, req, L::subcmd::set_listener);
    w::put_u8(req, M::action, remove != 0 ? M::remove : M::add);
    w::put_be32(req, M::addr, ntohl(address));
    w::put_be16(req, M::port, port);
    w::put_u8(req, M::result, 0);
    const tv::exchanged x = tv::exchange(ctx, req, resp);
    if (x.ok() && w::get_u8(resp, M::result) == M::refused) return TV_ERR_SWITCH;
    return x.status;
}

// Registers (or removes) the listening context's own address and port.
int32_t register_listener(tv_context* ctx, const tv_context* listening, int32_t remove) {
    return set_trap_listener(ctx, listening->local_addr.sin_addr.s_addr,
                             ntohs(listening->local_addr.sin_port), remove);
}

tv_trap_listener* create_listener(tv_context* ctx, int32_t& status) {
    tv_context* listening = tv::open_context(ctx->host_text, 0, status);
    if (listening == nullptr) return nullptr;
    status = register_listener(ctx, listening, 0);
    if (status != TV_OK) {
        tv::close_context(listening);
        return nullptr;
    }
    auto* handle = static_cast<tv_trap_listener*>(tv::alloc_zeroed(1, sizeof(tv_trap_listener)));
    if (handle == nullptr) {
        // The registration stays in the switch: without memory there is no handle to undo it.
        tv::close_context(listening);
        status = TV_ERR_ALLOC;
        return nullptr;
    }
    handle->ctx = listening;
    handle->count = 1;
    return handle;
}

// The listener table as it arrived; no allocation, so that the exported operations built on
// it keep failing only by status code.
struct listener_table {
    std::array<tv::trap_listener_entry, L::table_msg::max_entries> entries{};
    std::size_t count = 0;
    auto begin() const { return entries.begin(); }
    auto end() const { return entries.begin() + static_cast<std::ptrdiff_t>(count); }
};

int32_t read_listeners(tv_context* ctx, listener_table& out) {
    out.count = 0;
    std::array<std::uint8_t, L::bare_len> req;
    std::array<std::uint8_t, L::table_msg::ret_len> resp;
    build_trap_request(ctx, req, L::subcmd::listeners);
    const tv::exchanged x = tv::exchange(ctx, req, resp);
    if (!x.ok()) return x.status;
    const w::cbytes table{resp.data(), static_cast<std::size_t>(x.length)};
    out.count = tv::trap_listener_count(table);
    for (std::size_t i = 0; i < out.count; ++i) out.entries[i] = tv::trap_listener_at(table, i);
    return TV_OK;
}

int32_t send_trap_alert(tv_context* ctx) {
    listener_table listeners;
    if (const int32_t status = read_listeners(ctx, listeners); status != TV_OK) return status;

    tv::unique_fd sock{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (!sock) return TV_ERR_SOCKET;
    // A test alert: no message header, unit 1, the test code, falling.
    std::array<std::uint8_t, L::event_msg::len> alert{};
    tv_trap_event e{};
    e.unit = 1;
    e.code = TV_TRAP_TEST_CODE;
    e.alert = TV_TRAP_FALLING;
    tv::encode_trap_event(alert, e);
    tv::set_checksum(alert);

    for (const tv::trap_listener_entry& entry : listeners) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = entry.addr;
        to.sin_port = htons(entry.port);
        log_info("sending alert to: %s.%d\n", inet_ntoa(to.sin_addr), entry.port);
        (void)::sendto(sock.get(), alert.data(), alert.size(), 0,
                       reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    return TV_OK;
}

int32_t set_trap_counter(tv_context* ctx, const tv_trap_counter& counter) {
    namespace M = L::counter_msg;
    std::array<std::uint8_t, M::req_len> req;
    std::array<std::uint8_t, M::ret_len> resp;
    build_trap_request(ctx, req, counter.mode != 0 ? L::subcmd::add_counter : L::subcmd::set_counter);
    w::put_u8(req, M::index, counter.index);
    w::put_u8(req, M::value_b1, counter.value_b1);
    w::put_be32(req, M::value, static_cast<std::uint32_t>(counter.value));
    // The alert goes out whatever the switch said, and its status is the result.
    (void)tv::exchange(ctx, req, resp);
    return send_trap_alert(ctx);
}

}  // namespace

namespace tv {

int32_t read_trap_listeners(tv_context* ctx, std::vector<trap_listener_entry>& out) {
    out.clear();
    if (ctx == nullptr) return publish(TV_ERR_PARAM);
    listener_table table;
    const int32_t status = read_listeners(ctx, table);
    out.assign(table.begin(), table.end());
    return publish(status);
}

}  // namespace tv

extern "C" {

int32_t tv_download_trap_config(tv_context* ctx, int32_t which, void* block) {
    if (ctx == nullptr || block == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(download(ctx, which, {static_cast<std::uint8_t*>(block), L::block::len}));
}

int32_t tv_upload_trap_config(tv_context* ctx, const void* block) {
    if (ctx == nullptr || block == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(upload(ctx, {static_cast<const std::uint8_t*>(block), L::block::len}));
}

int32_t tv_save_trap_config(tv_context* ctx) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(save(ctx));
}

int32_t tv_get_all_trap_configs(tv_context* ctx, int32_t which, tv_trap_config_list* list) {
    if (ctx == nullptr || list == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_all_trap_configs(ctx, which, *list));
}

void tv_free_trap_configs(tv_trap_config_list* list) {
    if (list == nullptr) return;
    list->count = 0;
    std::free(list->entries);
    list->entries = nullptr;
}

int32_t tv_get_trap_config(tv_context* ctx, int32_t which, int32_t code, tv_trap_config* config) {
    if (ctx == nullptr || config == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_trap_config(ctx, which, code, *config));
}

int32_t tv_set_trap_config(tv_context* ctx, int32_t save, const tv_trap_config* config) {
    if (ctx == nullptr || config == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_trap_config(ctx, save, *config));
}

int32_t tv_get_trapping_status(tv_context* ctx, int32_t which, tv_trapping_status* status) {
    (void)which;  // the current configuration is read
    if (ctx == nullptr || status == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_trapping_status(ctx, *status));
}

int32_t tv_set_trapping_status(tv_context* ctx, int32_t save, const tv_trapping_status* status) {
    if (ctx == nullptr || status == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_trapping_status(ctx, save, *status));
}

int32_t tv_set_trap_listener(tv_context* ctx, uint32_t address, uint16_t port, int32_t remove) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_trap_listener(ctx, address, port, remove));
}

tv_trap_listener* tv_trap_createlistener(tv_context* ctx) {
    if (ctx == nullptr) {
        tv::publish(TV_ERR_PARAM);
        return nullptr;
    }
    int32_t status = TV_OK;
    tv_trap_listener* handle = create_listener(ctx, status);
    tv::publish(status);
    return handle;
}

int32_t tv_trap_listen(tv_trap_listener* listener, int32_t timeout_ms, tv_trap_event* event) {
    if (listener == nullptr || listener->ctx == nullptr || event == nullptr)
        return tv::publish(TV_ERR_PARAM);
    std::array<std::uint8_t, L::event_msg::len> msg;
    // Traps come from the switch the listener registered with, from whatever port, and are
    // whole trap messages; the test alert (no header) is therefore not taken in strict mode.
    static constexpr tv::listen_rules trap_from_switch{false, true, TV_CMD_TRAP};
    const int32_t status = tv::listen_message(listener->ctx, msg, timeout_ms, &trap_from_switch);
    if (status == TV_OK) *event = tv::decode_trap_event(msg);
    return tv::publish(status);
}

int32_t tv_trap_release_listener(tv_context* ctx, tv_trap_listener* listener) {
    if (listener == nullptr) return tv::publish(TV_ERR_PARAM);
    // A failed unregistration does not stop the release, and is not reported.
    if (listener->count != 0 && ctx != nullptr && listener->ctx != nullptr)
        register_listener(ctx, listener->ctx, 1);
    if (listener->ctx != nullptr) tv::close_context(listener->ctx);
    std::free(listener);
    return tv::publish(TV_OK);
}

int32_t tv_send_trap_alert(tv_context* ctx) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(send_trap_alert(ctx));
}

int32_t tv_set_trap_counter(tv_context* ctx, const tv_trap_counter* counter) {
    if (ctx == nullptr || counter == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_trap_counter(ctx, *counter));
}

}  // extern "C"
