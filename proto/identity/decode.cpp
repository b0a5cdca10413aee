// Readers of the version, model, chassis-status, sensor and system-information responses.
#include "proto/identity/decode.h"

#include <algorithm>

namespace tv {

namespace {

namespace L = layout::identity;

constexpr std::uint32_t model_unknown = 255;
constexpr std::uint32_t highest_model = 3;

// The state codes of a sensor entry that mean OK and failed; firmware from the normalised
// revision 0x40119 on uses the newer set.
struct sensor_codes {
    std::uint8_t ok_low, ok_high, failed;
};
constexpr std::int32_t newer_codes_from = 0x40119;
constexpr sensor_codes older_codes{2, 3, 4};
constexpr sensor_codes newer_codes{3, 4, 5};

int8_t fan_status(wire::cbytes resp, std::size_t installed_at, std::size_t status_at) {
    if (wire::get_u8(resp, installed_at) == 0) return -1;
    return static_cast<int8_t>(wire::get_u8(resp, status_at));
}

}  // namespace

void decode_version(wire::cbytes resp, tv_version_info& out) {
    out.flash_rev = wire::get_be32(resp, L::version::flash_rev);
    out.hw_rev = wire::get_be32(resp, L::version::hw_rev);
    out.prom_rev = wire::get_be32(resp, L::version::prom_rev);
    out.ver_info1 = wire::get_be32(resp, L::version::info1);
    out.ver_info2 = wire::get_be32(resp, L::version::info2);
    out.ver_info3 = wire::get_be32(resp, L::version::fc_addr);
    wire::get_bytes(resp, L::version::wwn, out.wwn, sizeof out.wwn);
    wire::get_bytes(resp, L::version::mac, out.mac, sizeof out.mac);
    out.ver_info4 = wire::get_be32(resp, L::version::info4);
    out.spare = 0;
}

std::uint32_t decode_model(wire::cbytes resp) {
    const std::uint32_t model = wire::get_u8(resp, L::model::code);
    return model <= highest_model ? model : model_unknown;
}

void decode_chassis_status(wire::cbytes resp, tv_chassis_status& out) {
    out.power_status = wire::get_u8(resp, L::status::power);
    out.temp_status = wire::get_u8(resp, L::status::temp_status);
    out.temperature = static_cast<int32_t>(wire::get_be32(resp, L::status::temperature));
    out.fan1_status = fan_status(resp, L::status::fan1_installed, L::status::fan1);
    out.fan2_status = fan_status(resp, L::status::fan2_installed, L::status::fan2);

    // The transceiver bytes end where the checksum begins: 80 of them in the 116-byte message.
    const std::size_t tail = L::status::gbic + TV_CHKSUM_LEN;
    const std::size_t in_message = resp.size() > tail ? resp.size() - tail : 0;
    const std::size_t room = std::min<std::size_t>(in_message, TV_MAX_GBIC);
    const std::size_t n = std::min<std::size_t>(wire::get_u8(resp, L::status::num_ports), room);
    out.num_ports = static_cast<uint8_t>(n);
    wire::get_bytes(resp, L::status::gbic, out.gbic_type, n);
}

std::int8_t decode_sensor_status(wire::cbytes resp, std::uint32_t flash_rev) {
    const std::size_t i = wire::get_u8(resp, L::sensors::index);
    if (i >= L::sensors::count) return -1;
    const std::uint8_t s = wire::get_u8(resp, L::sensors::entries + L::sensors::entry_len * i);
    const sensor_codes c =
        normalised_revision(static_cast<std::int32_t>(flash_rev)) >= newer_codes_from
            ? newer_codes
            : older_codes;
    if (s == c.ok_low || s == c.ok_high) return 0;
    return s == c.failed ? 1 : -1;
}

void decode_sysconfig(wire::cbytes resp, tv_sysconfig& out) {
    out.uptime = wire::get_be32(resp, L::sysconfig::uptime);
    wire::get_text(resp, L::sysconfig::description, L::sysconfig::text_len, out.description);
    wire::get_text(resp, L::sysconfig::text2, L::sysconfig::text_len, out.text2);
    wire::get_text(resp, L::sysconfig::text3, L::sysconfig::text_len, out.text3);
}

}  // namespace tv
