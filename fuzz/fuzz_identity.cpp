// The identity readers on any bytes: each response is read from a buffer of the size the
// operation uses (the input cut or zero-padded to it) and from the input at its own length.
// A count beyond the room of the message or the record, a write outside a record, a sensor
// state or model code outside its values, or an unterminated text aborts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "guarded.h"
#include "proto/identity/decode.h"

namespace {

namespace L = tv::layout::identity;
constexpr std::uint8_t fill = 0xA5;


void check_chassis_status(tv::wire::cbytes resp) {
    guarded<tv_chassis_status> st;
    tv::decode_chassis_status(resp, st.rec);
    st.check();
    const std::size_t n = st.rec.num_ports;
    const std::size_t tail = L::status::gbic + TV_CHKSUM_LEN;
    const std::size_t in_message = resp.size() > tail ? resp.size() - tail : 0;
    if (n > TV_MAX_GBIC || n > in_message) std::abort();
    for (std::size_t i = n; i < TV_MAX_GBIC; ++i)
        if (st.rec.gbic_type[i] != fill) std::abort();
}

bool terminated(const char (&text)[64]) { return std::memchr(text, 0, sizeof text) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tv::wire::cbytes input{data, size};
    std::array<std::uint8_t, L::sysconfig::ret_len> work{};
    std::copy_n(data, std::min(size, work.size()), work.begin());
    const auto as_response = [&](std::size_t len) { return tv::wire::cbytes{work.data(), len}; };

    guarded<tv_version_info> version;
    tv::decode_version(as_response(L::version::ret_len), version.rec);
    version.check();
    if (version.rec.spare != 0) std::abort();

    const std::uint32_t model = tv::decode_model(as_response(L::model::ret_len));
    if (model > 3 && model != 255) std::abort();

    check_chassis_status(as_response(L::status::ret_len));
    check_chassis_status(input);

    for (const auto& resp : {as_response(L::sensors::ret_len), input}) {
        const std::int8_t s = tv::decode_sensor_status(resp, version.rec.flash_rev);
        if (s < -1 || s > 1) std::abort();
    }

    guarded<tv_sysconfig> cfg;
    tv::decode_sysconfig(input, cfg.rec);
    cfg.check();
    if (!terminated(cfg.rec.description) || !terminated(cfg.rec.text2) ||
        !terminated(cfg.rec.text3))
        std::abort();
    return 0;
}
