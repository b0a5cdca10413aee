// The trap readers on any bytes, read as a trap message, as a listener-table answer and as a
// configuration block, at the input's own length and at the message's: a source wider than 24
// bits or not where the length field puts it, a listener count above 12 or past the bytes
// received, an entry that does not read back as written, or a block whose entries do not write
// back to the very same bytes aborts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "proto/traps/decode.h"

namespace {

namespace L = tv::layout::traps;
namespace w = tv::wire;

void check_event(w::cbytes msg) {
    const tv_trap_event e = tv::decode_trap_event(msg);
    if (e.source > 0xFFFFFFu) std::abort();
    const std::uint32_t expected = w::get_be16(msg, 10) >= L::event_msg::source_len
                                       ? w::get_be24(msg, L::event_msg::source + 1)
                                       : w::get_be24(msg, 5);
    if (e.source != expected) std::abort();
    std::array<std::uint8_t, L::event_msg::len> again{};
    tv::encode_trap_event(again, e);
    if (tv::decode_trap_event(again).code != e.code || again[L::event_msg::unit] != e.unit) std::abort();
}

void check_table(w::cbytes resp) {
    const std::size_t n = tv::trap_listener_count(resp);
    if (n > L::table_msg::max_entries) std::abort();
    if (n > 0 && L::table_msg::entries_at + n * L::table_msg::entry_len + 4 > resp.size()) std::abort();
    std::array<std::uint8_t, L::table_msg::ret_len> copy{};
    for (std::size_t i = 0; i < n; ++i) {
        const tv::trap_listener_entry e = tv::trap_listener_at(resp, i);
        if (!tv::encode_trap_listener(copy, i, e)) std::abort();
        const tv::trap_listener_entry back = tv::trap_listener_at(copy, i);
        if (back.addr != e.addr || back.port != e.port) std::abort();
    }
    if (tv::encode_trap_listener(copy, L::table_msg::max_entries, {})) std::abort();
}

void check_block(w::cbytes input) {
    std::array<std::uint8_t, L::block::len> block{};
    std::copy_n(input.begin(), std::min(input.size(), block.size()), block.begin());
    auto copy = block;
    for (std::uint8_t code = 0; code < TV_TRAP_CODES; ++code)
        if (!tv::encode_trap_config(copy, tv::decode_trap_config(block, code))) std::abort();
    tv::encode_trapping(copy, tv::decode_trapping(block));
    if (copy != block) std::abort();
    tv_trap_config outside{};
    outside.code = static_cast<std::uint8_t>(TV_TRAP_CODES + (input.empty() ? 0 : input[0] % 200));
    outside.rising = 1;
    if (tv::encode_trap_config(copy, outside) || copy != block) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const w::cbytes input{data, size};
    std::array<std::uint8_t, L::event_msg::len> msg{};
    std::copy_n(data, std::min(size, msg.size()), msg.begin());
    check_event(msg);
    check_event(input);
    check_table(input);
    check_table(input.first(std::min(size, L::table_msg::ret_len)));
    check_block(input);
    return 0;
}
