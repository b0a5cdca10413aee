// Firmware and file transfer: firmware load, download into a store, upload from a store.
//
// A transfer towards the switch is collected block by block: block 0 starts it, each later
// block must carry the next number and the same total, and its data must fit in that total;
// the data becomes the firmware image or the store only when the total is reached, so a
// transfer that stops half-way changes nothing. A resend of the block accepted last (its
// answer was lost) is answered again without being appended. Anything else is refused with
// status 0x02 and abandons the transfer. Each transfer completed or refused leaves a line in
// the family's log.
#include <array>
#include <cstdarg>
#include <cstdio>

#include "proto/transfer/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "telvar/tv_export.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace T = tv::layout::transfer;

enum class taken { refused, appended, repeated, completed };

std::string printf_text(const char* format, ...) TV_PRINTF(1, 2);
std::string printf_text(const char* format, ...) {
    std::array<char, 160> buf{};
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    va_end(args);
    return buf.data();
}

// Keeps a line of the family's log and shows it in the request log.
void note(request_ctx& c, std::string line) {
    c.note = line;
    c.state<transfer_state>().log.push_back(std::move(line));
}

// One block of a transfer towards the switch; `what` names the transfer in the log.
taken take_block(request_ctx& c, incoming& in, std::uint32_t block_no, std::uint32_t total,
                 w::cbytes data, const std::string& what) {
    const auto refuse = [&](const std::string& why) {
        in = incoming{};
        note(c, what + ": " + why + "; transfer abandoned");
        return taken::refused;
    };
    const std::vector<std::uint8_t> block(data.begin(), data.end());
    if (in.blocks > 0 && block_no == in.blocks - 1 && total == in.total && block == in.last_block)
        return taken::repeated;
    if (block.empty() || block.size() > T::max_block)
        return refuse(printf_text("block %u has length %zu", block_no, block.size()));
    if (block_no == 0) {
        in = incoming{};
        in.open = true;
        in.total = total;
    } else if (!in.open || block_no != in.blocks) {
        return refuse(printf_text("block %u out of order (expected %u)", block_no,
                                  in.open ? in.blocks : 0u));
    } else if (total != in.total) {
        return refuse(printf_text("block %u says the total is %u, not %u", block_no, total, in.total));
    }
    if (block.size() > in.total - in.data.size())
        return refuse(printf_text("block %u runs past the total of %u bytes", block_no, in.total));
    in.data.insert(in.data.end(), block.begin(), block.end());
    in.last_block = block;
    ++in.blocks;
    if (in.data.size() < in.total) return taken::appended;
    in.open = false;
    return taken::completed;
}

// The data of a block message: `len` bytes from `at`, none when they do not fit the room.
w::cbytes block_data(const request_ctx& c, std::size_t at, std::size_t len) {
    if (len > T::max_block || !w::fits(c.req, at, len)) return {};
    return c.req.subspan(at, len);
}

void codeload(request_ctx& c) {
    namespace K = T::codeload;
    c.reply(K::ret_len);
    auto& st = c.state<transfer_state>();
    const std::uint16_t block_no = w::get_be16(c.req, K::block_no);
    const std::uint16_t len = w::get_be16(c.req, K::block_len);
    const w::cbytes data = c.req.size() == T::block_msg_len ? block_data(c, K::data, len) : w::cbytes{};
    const taken t = take_block(c, st.load, block_no, w::get_be32(c.req, K::total), data,
                               "firmware load");
    if (t == taken::refused) c.status = status_bad_request;
    if (t != taken::completed) return;
    st.firmware = st.load.data;
    ++st.firmware_loads;
    note(c, printf_text("firmware load: %zu bytes in %u blocks", st.firmware.size(), st.load.blocks));
}

void download(request_ctx& c) {
    namespace D = T::download;
    c.reply(D::ret_len);
    auto& st = c.state<transfer_state>();
    const transfer_state::store_key key{w::get_u8(c.req, D::target), w::get_u8(c.req, D::selector2)};
    const std::uint16_t len = w::get_be16(c.req, D::block_len);
    const w::cbytes data = c.req.size() == T::block_msg_len ? block_data(c, D::data, len) : w::cbytes{};
    const std::string what = printf_text("download into store %u/%u", unsigned{key.first}, unsigned{key.second});
    incoming& in = st.downloads[key];
    const taken t = take_block(c, in, w::get_be16(c.req, D::block_no),
                               w::get_be32(c.req, D::total), data, what);
    if (t == taken::refused) c.status = status_bad_request;
    if (t != taken::completed) return;
    st.stores[key] = in.data;
    note(c, what + printf_text(": %zu bytes in %u blocks", in.data.size(), in.blocks));
}

void upload(request_ctx& c) {
    namespace U = T::upload;
    auto m = c.reply(U::ret_len);
    const auto& st = c.state<transfer_state>();
    const auto it = st.stores.find({w::get_u8(c.req, U::target), w::get_u8(c.req, U::selector2)});
    if (c.req.size() != U::req_len || it == st.stores.end()) {
        w::put_be32(m, U::total, U::no_store);
        return;
    }
    const std::vector<std::uint8_t>& store = it->second;
    const std::uint32_t offset = w::get_be32(c.req, U::offset);
    if (offset > store.size()) {
        c.status = status_bad_request;
        return;
    }
    const std::size_t len = std::min<std::size_t>(
        {w::get_be16(c.req, U::wanted), U::max_block, store.size() - offset});
    w::put_be16(m, U::block_len, static_cast<std::uint16_t>(len));
    w::put_be32(m, U::total, static_cast<std::uint32_t>(store.size()));
    w::put_bytes(m, U::data, store.data() + offset, len);
}

constexpr std::array<handler_entry, 3> table{{
    {T::cmd_codeload, 0, codeload, true, "firmware load"},
    {T::cmd_download, 0, download, true, "download"},
    {T::cmd_upload, 0, upload, true, "upload"},
}};

constexpr std::array<std::string_view, 1> keys{"stores"};
constexpr std::array<std::string_view, 4> store_keys{"target", "selector2", "text", "size"};
constexpr std::size_t max_store = 1u << 20;

void read(const fields& j, switch_state& s) {
    if (!j.has("stores")) return;
    auto& stores = s.get<transfer_state>().stores;
    j.at("stores").each([&](const fields& f, std::size_t) {
        f.expect_object(store_keys);
        transfer_state::store_key key{0, 0};
        key.first = static_cast<std::uint8_t>(f.at("target").as_number(0xFF));
        f.number("selector2", key.second, 0xFF);
        if (stores.contains(key)) f.fail("two stores have the same selectors");
        std::vector<std::uint8_t> data;
        if (f.has("text")) {
            const std::string t = f.at("text").as_text(max_store);
            data.assign(t.begin(), t.end());
        } else if (f.has("size")) {
            // A store of that many bytes counting up from 0, for transfers of any length.
            data.resize(f.at("size").as_number(max_store));
            for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
        }
        stores[key] = std::move(data);
    });
}

}  // namespace

const family_info& transfer_family::info() {
    static const family_info f{
        .name = "transfer", .handlers = table, .switch_keys = keys, .read_switch = read};
    return f;
}

}  // namespace sim
