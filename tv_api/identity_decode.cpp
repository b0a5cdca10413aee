// Readers of the version, model, chassis-status, sensor and system-information responses.
#include "identity_decode.h"

#include <algorithm>

namespace tv {

namespace {

namespace version_at {
constexpr std::size_t flash_rev = 20, hw_rev = 24, prom_rev = 28, info1 = 32, info2 = 52,
                      info3 = 56, wwn = 60, mac = 72, info4 = 80;
}
namespace status_at {
constexpr std::size_t num_ports = 20, power = 21, temp_status = 23, temperature = 24,
                      fan1_installed = 28, fan2_installed = 29, fan1 = 30, fan2 = 31;
}
namespace sensors_at {
constexpr std::size_t index = 28, entries = 36, entry_len = 4;
}
namespace sysconfig_at {
constexpr std::size_t uptime = 20, description = 24, text2 = 88, text3 = 152, text_len = 64;
}

constexpr std::size_t model_at = 20;
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
    out.flash_rev = wire::get_be32(resp, version_at::flash_rev);
    out.hw_rev = wire::get_be32(resp, version_at::hw_rev);
    out.prom_rev = wire::get_be32(resp, version_at::prom_rev);
    out.ver_info1 = wire::get_be32(resp, version_at::info1);
    out.ver_info2 = wire::get_be32(resp, version_at::info2);
    out.ver_info3 = wire::get_be32(resp, version_at::info3);
    wire::get_bytes(resp, version_at::wwn, out.wwn, sizeof out.wwn);
    wire::get_bytes(resp, version_at::mac, out.mac, sizeof out.mac);
    out.ver_info4 = wire::get_be32(resp, version_at::info4);
    out.spare = 0;
}

std::uint32_t decode_model(wire::cbytes resp) {
    const std::uint32_t model = wire::get_u8(resp, model_at);
    return model <= highest_model ? model : model_unknown;
}

void decode_chassis_status(wire::cbytes resp, tv_chassis_status& out) {
    out.power_status = wire::get_u8(resp, status_at::power);
    out.temp_status = wire::get_u8(resp, status_at::temp_status);
    out.temperature = static_cast<int32_t>(wire::get_be32(resp, status_at::temperature));
    out.fan1_status = fan_status(resp, status_at::fan1_installed, status_at::fan1);
    out.fan2_status = fan_status(resp, status_at::fan2_installed, status_at::fan2);

    // The transceiver bytes end where the checksum begins: 80 of them in the 116-byte message.
    const std::size_t tail = identity_msg::gbic_at + TV_CHKSUM_LEN;
    const std::size_t in_message = resp.size() > tail ? resp.size() - tail : 0;
    const std::size_t room = std::min<std::size_t>(in_message, TV_MAX_GBIC);
    const std::size_t n = std::min<std::size_t>(wire::get_u8(resp, status_at::num_ports), room);
    out.num_ports = static_cast<uint8_t>(n);
    wire::get_bytes(resp, identity_msg::gbic_at, out.gbic_type, n);
}

std::int8_t decode_sensor_status(wire::cbytes resp, std::uint32_t flash_rev) {
    const std::size_t i = wire::get_u8(resp, sensors_at::index);
    if (i >= identity_msg::sensor_entries) return -1;
    const std::uint8_t s = wire::get_u8(resp, sensors_at::entries + sensors_at::entry_len * i);
    const sensor_codes c =
        normalised_revision(static_cast<std::int32_t>(flash_rev)) >= newer_codes_from
            ? newer_codes
            : older_codes;
    if (s == c.ok_low || s == c.ok_high) return 0;
    return s == c.failed ? 1 : -1;
}

void decode_sysconfig(wire::cbytes resp, tv_sysconfig& out) {
    out.uptime = wire::get_be32(resp, sysconfig_at::uptime);
    wire::get_text(resp, sysconfig_at::description, sysconfig_at::text_len, out.description);
    wire::get_text(resp, sysconfig_at::text2, sysconfig_at::text_len, out.text2);
    wire::get_text(resp, sysconfig_at::text3, sysconfig_at::text_len, out.text3);
}

}  // namespace tv
