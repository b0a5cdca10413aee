// Network and parameter configuration: the switch's network settings, its parameter block as
// the defaults loader reads and writes it, and applying a defaults file.
//
// Two module-static messages stage what is read until it is sent back: msg_netconfig (the
// network settings) and m_config_param_ret (the parameter message). The defaults-file parser
// (defaults_file.h) edits them in place between the read and the write, so every byte that the
// file does not name goes back exactly as the switch gave it. An answer too short to hold the
// whole message is refused (200) rather than staged with zeros that a write would send back.
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "proto/chassis/layout.h"
#include "proto/netconfig/layout.h"
#include "proto/transfer/layout.h"
#include "tv_api/operations/defaults_file.h"
#include "tv_api/tv_inter.h"

namespace {

namespace N = tv::layout::netconfig;
namespace C = tv::layout::chassis;
namespace P = C::param;
namespace w = tv::wire;

thread_local std::array<std::uint8_t, N::len> m_net_config_req;
thread_local std::array<std::uint8_t, N::len> m_net_config_ret;
thread_local std::array<std::uint8_t, N::len> msg_netconfig;
thread_local std::array<std::uint8_t, N::short_req_len> m_netconfig_req;
thread_local std::array<std::uint8_t, N::len> m_netconfig_ret;
thread_local std::array<std::uint8_t, P::read_req_len> m_config_param_req;
thread_local std::array<std::uint8_t, P::len> m_config_param_ret;

constexpr int32_t flags_saved = 2;
constexpr int32_t flags_copy = 1;

// Whether an answer of `length` bytes holds the whole message of `len` bytes.
int32_t whole(const tv::exchanged& x, std::size_t len) {
    if (!x.ok()) return x.status;
    return x.length >= static_cast<int32_t>(len) ? TV_OK : TV_ERR_SWITCH;
}

// The exchange's result as the _data operations return it: the length, or 0 when refused.
int32_t result_of(const tv::exchanged& x, int32_t status) { return status == TV_OK ? x.length : 0; }

// The six words of the network message at 16-36.
void words_out(w::cbytes msg, tv_net_config& net) {
    std::array<std::uint32_t*, N::words> f{&net.ip_addr,    &net.ip_mask,  &net.ip_broadcast,
                                           &net.ip_gateway, &net.ip_auto, &net.arp_timeout};
    for (std::size_t i = 0; i < f.size(); ++i) *f[i] = w::get_be32(msg, N::ip_addr + 4 * i);
}

void words_in(const tv_net_config& net, w::bytes msg) {
    const std::array<std::uint32_t, N::words> f{net.ip_addr,    net.ip_mask,  net.ip_broadcast,
                                                net.ip_gateway, net.ip_auto, net.arp_timeout};
    for (std::size_t i = 0; i < f.size(); ++i) w::put_be32(msg, N::ip_addr + 4 * i, f[i]);
}

int32_t set_net_config(tv_context* ctx, const tv_net_config& net) {
    tv::build_request(ctx, m_net_config_req, N::cmd_write);
    words_in(net, m_net_config_req);
    return tv::exchange(ctx, m_net_config_req, m_net_config_ret).status;
}

int32_t get_netconfig(tv_context* ctx) {
    tv::build_request(ctx, msg_netconfig, N::cmd_read);
    return whole(tv::exchange_in_place(ctx, msg_netconfig), N::len);
}

int32_t set_netconfig(tv_context* ctx) {
    // The header goes over what the last read left (and the parser edited) without clearing it.
    tv::write_header(ctx, msg_netconfig, N::cmd_write, msg_netconfig.size());
    return tv::exchange_in_place(ctx, msg_netconfig).status;
}

// Reads a parameter set into `msg` (116 bytes); flags as tv_get_port_config's.
tv::exchanged read_port_config(tv_context* ctx, int32_t flags, w::bytes msg) {
    tv::build_config_request(ctx, m_config_param_req,
                             (flags & flags_saved) ? C::subcmd::read_saved : C::subcmd::read_active);
    return tv::exchange(ctx, m_config_param_req, msg);
}

int32_t get_port_config(tv_context* ctx, int32_t flags, std::uint8_t* image) {
    const int32_t status = whole(read_port_config(ctx, flags, m_config_param_ret), P::len);
    if (status != TV_OK || !(flags & flags_copy) || image == nullptr) return status;
    // The image holds message bytes 20-87 at the same relative offsets.
    const w::bytes img{image, P::block_len};
    const w::cbytes r = m_config_param_ret;
    const auto rel = [](std::size_t at) { return at - P::block_at; };
    w::put_be32(img, rel(P::ed_tov), w::get_be32(r, P::ed_tov));
    w::put_be16(img, rel(P::mfs_tov), w::get_be16(r, P::mfs_tov));
    w::put_be32(img, rel(P::ra_tov), w::get_be32(r, P::ra_tov));
    w::put_be32(img, rel(P::rt_tov), w::get_be32(r, P::rt_tov));
    const std::uint8_t ports = w::get_u8(r, P::port_count);
    w::put_u8(img, rel(P::port_count), ports);
    // The per-port arrays have room for 16 ports, whatever count the switch gives.
    for (std::size_t i = 0; i < std::min<std::size_t>(ports, P::per_port); ++i) {
        w::put_u8(img, rel(P::mfs_mode) + i, w::get_u8(r, P::mfs_mode + i));
        w::put_u8(img, rel(P::setting_a) + i, w::get_u8(r, P::setting_a + i));
    }
    return TV_OK;
}

// Sends a parameter message (116 bytes) as a write, its header written over it.
tv::exchanged set_config(tv_context* ctx, w::bytes msg, const char* trace) {
    tv::write_header(ctx, msg, TV_CMD_CONFIG, P::len);
    w::put_be32(msg, tv::off::subcmd, C::subcmd::write_params);
    const tv::exchanged x = tv::exchange(ctx, msg, m_config_param_req);
    if (x.ok()) log_info("%s", trace);
    return x;
}

// Loads the firmware file a defaults file names; its status, or the C library's error number
// when it cannot be opened.
int32_t load_firmware(tv_context* ctx, const std::string& name, int line) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) {
        const int e = errno;
        log_error("defaults: line %d: cannot open the firmware file %s: %s\n", line, name.c_str(),
                  std::strerror(e));
        return e;
    }
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::rewind(f);
    const int32_t status =
        tv::codeload(ctx, f, size < 0 ? 0u : static_cast<std::uint32_t>(size)).value_or(TV_OK);
    std::fclose(f);
    // The load's outcome does not end the parse; it is said here.
    if (status != TV_OK)
        log_error("defaults: line %d: loading the firmware file %s failed (status %d)\n", line,
                  name.c_str(), status);
    return TV_OK;
}

// Reads one piece of a line as fgets with room for 78 characters would: through a newline, at
// most 78 bytes. Returns its length (0 at the end of the file or on a read error).
std::size_t read_piece(std::FILE* file, std::array<char, tv::defaults::piece_len + 2>& buf) {
    std::size_t n = 0;
    while (n < tv::defaults::piece_len) {
        const int c = std::getc(file);
        if (c == EOF) break;
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buf[n] = '\0';
    return n;
}

void report(const tv::defaults::piece_outcome& o, int line) {
    using tv::defaults::verdict;
    const auto key = static_cast<int>(o.key.size());
    if (o.what == verdict::unknown_key)
        log_error("defaults: line %d: unknown key %.*s ignored\n", line, key, o.key.data());
    else if (o.what == verdict::no_value)
        log_error("defaults: line %d: %.*s has no value; ignored\n", line, key, o.key.data());
    if (!o.warning.empty())
        log_error("defaults: line %d: %.*s: %s\n", line, key, o.key.data(), o.warning.c_str());
}

int32_t parse_file(tv_context* ctx, std::FILE* file, std::uint32_t& changed) {
    const tv::defaults::staging s{msg_netconfig, m_config_param_ret};
    std::array<char, tv::defaults::piece_len + 2> buf{};
    int line = 1;
    bool continued = false;  // the piece read last ended without a newline
    for (std::size_t n; (n = read_piece(file, buf)) > 0;) {
        const std::string_view piece{buf.data(), n};
        if (!continued && n == tv::defaults::piece_len && piece.back() != '\n') {
            // A newline right after the piece ends the line there: it is not longer.
            const int next = std::getc(file);
            if (next != '\n' && next != EOF)
                log_error("defaults: line %d is longer than %zu characters; each piece of it is "
                          "read as a line\n", line, tv::defaults::piece_len);
            if (next != EOF) std::ungetc(next, file);
        }
        const tv::defaults::piece_outcome o = tv::defaults::apply_piece(piece, s, changed);
        report(o, line);
        if (o.what == tv::defaults::verdict::flash) {
            if (const int32_t e = load_firmware(ctx, std::string(o.value), line); e != TV_OK)
                return e;  // the lines after it stay unread
        }
        continued = piece.back() != '\n';
        if (!continued) ++line;
    }
    if (std::ferror(file)) {
        const int e = errno != 0 ? errno : EIO;
        log_error("defaults: the file cannot be read past line %d: %s\n", line, std::strerror(e));
        return e;
    }
    return TV_OK;
}

int32_t apply_file(tv_context* ctx, std::FILE* file) {
    if (const int32_t code = get_port_config(ctx, flags_saved, nullptr); code != TV_OK) return code;
    if (const int32_t code = get_netconfig(ctx); code != TV_OK) return code;
    std::uint32_t changed = 0;
    int32_t status = tv::publish(parse_file(ctx, file, changed));
    // What the file changed before a failure of the parse is still written. The first failure,
    // of the parse or of a write, is the result whatever the writes after it do: a file that
    // was applied only in part never reports success.
    int32_t failure = status;
    const auto step = [&](int32_t code, const char* message) {
        status = code;
        if (code != TV_OK && failure == TV_OK) failure = code;
        if (code != TV_OK) log_error("%s", message);
        return code == TV_OK;
    };
    if (changed & tv::defaults::changed_params) {
        if (step(set_config(ctx, m_config_param_ret, "tv_set_config: set\n").status, "Set config Error"))
            step(tv::simple_config_cmd(ctx, C::subcmd::save_active), "Save active config Error");
    }
    if (changed & tv::defaults::changed_network) step(set_netconfig(ctx), "Set net config Error");
    return failure != TV_OK ? failure : status;
}

int32_t refused() { return tv::publish(TV_ERR_PARAM); }

}  // namespace

namespace tv {

int32_t get_net_config(tv_context* ctx, tv_net_config& net) {
    build_request(ctx, m_net_config_req, N::cmd_read);
    const int32_t status = whole(exchange(ctx, m_net_config_req, m_net_config_ret), N::len);
    net = {};
    if (status == TV_OK) words_out(m_net_config_ret, net);
    return status;
}

}  // namespace tv

extern "C" {

int32_t tv_get_net_config(tv_context* ctx, tv_net_config* net) {
    if (ctx == nullptr || net == nullptr) return refused();
    return tv::publish(tv::get_net_config(ctx, *net));
}

int32_t tv_set_net_config(tv_context* ctx, const tv_net_config* net) {
    if (ctx == nullptr || net == nullptr) return refused();
    return tv::publish(set_net_config(ctx, *net));
}

int32_t tv_get_netconfig(tv_context* ctx) {
    if (ctx == nullptr) return refused();
    return tv::publish(get_netconfig(ctx));
}

int32_t tv_set_netconfig(tv_context* ctx) {
    if (ctx == nullptr) return refused();
    return tv::publish(set_netconfig(ctx));
}

int32_t tv_get_netconfig_data(tv_context* ctx, void* image) {
    if (ctx == nullptr || image == nullptr) return refused(), 0;
    const w::bytes img{static_cast<std::uint8_t*>(image), N::len};
    std::fill_n(img.begin(), 4, 0);
    tv::build_request(ctx, m_netconfig_req, N::cmd_read);
    const tv::exchanged x = tv::exchange(ctx, m_netconfig_req, m_netconfig_ret);
    const int32_t status = tv::publish(whole(x, N::len));
    if (status != TV_OK) return result_of(x, status);
    std::copy_n(m_netconfig_ret.begin() + N::ip_addr, 4 * N::words, img.begin() + N::ip_addr);
    return x.length;
}

int32_t tv_set_netconfig_data(tv_context* ctx, void* image) {
    if (ctx == nullptr || image == nullptr) return refused(), 0;
    const w::bytes img{static_cast<std::uint8_t*>(image), N::len};
    tv::write_header(ctx, img, N::cmd_write, N::len);
    const tv::exchanged x = tv::exchange(ctx, img, m_netconfig_ret);
    return result_of(x, tv::publish(x.status));
}

int32_t tv_get_port_config(tv_context* ctx, int32_t flags, void* image) {
    if (ctx == nullptr) return refused();
    return tv::publish(get_port_config(ctx, flags, static_cast<std::uint8_t*>(image)));
}

int32_t tv_get_port_config_data(tv_context* ctx, int32_t /*which*/, int32_t flags, void* message) {
    if (ctx == nullptr) return refused(), 0;
    const w::bytes msg = message ? w::bytes{static_cast<std::uint8_t*>(message), P::len}
                                 : w::bytes{m_config_param_ret};
    const tv::exchanged x = read_port_config(ctx, flags, msg);
    return result_of(x, tv::publish(whole(x, P::len)));
}

int32_t tv_set_config(tv_context* ctx) {
    if (ctx == nullptr) return refused();
    return tv::publish(set_config(ctx, m_config_param_ret, "tv_set_config: set\n").status);
}

int32_t tv_set_config_data(tv_context* ctx, void* message) {
    if (ctx == nullptr) return refused(), 0;
    const w::bytes msg = message ? w::bytes{static_cast<std::uint8_t*>(message), P::len}
                                 : w::bytes{m_config_param_ret};
    const tv::exchanged x = set_config(ctx, msg, "tv_set_config_data: set\n");
    return result_of(x, tv::publish(x.status));
}

int32_t upload_settings(tv_context* ctx, FILE* file) {
    if (ctx == nullptr || file == nullptr) return refused();
    return tv::publish(tv::status_without_throwing(TV_ERR_NOMEM, [&] { return apply_file(ctx, file); }));
}

int32_t parse_defaults(tv_context* ctx, FILE* file, uint32_t* changed) {
    if (ctx == nullptr || file == nullptr || changed == nullptr) return refused();
    return tv::publish(
        tv::status_without_throwing(TV_ERR_NOMEM, [&] { return parse_file(ctx, file, *changed); }));
}

}  // extern "C"
