// Identity and chassis status: version, model, chassis status, sensors, system information.
#include <algorithm>
#include <array>
#include <chrono>

#include "handlers.h"
#include "utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;

void version(request_ctx& c) {
    const auto& s = c.self();
    auto m = c.reply(88);
    w::put_be32(m, 20, s.flash_rev);
    w::put_be32(m, 24, s.hw_rev);
    w::put_be32(m, 28, s.prom_rev);
    w::put_be32(m, 32, s.ver_info1);
    w::put_be32(m, 52, s.ver_info2);
    w::put_be32(m, 56, s.fc_addr);
    w::put_bytes(m, 60, s.wwn.data(), s.wwn.size());
    w::put_bytes(m, 72, s.mac.data(), s.mac.size());
    w::put_be32(m, 80, s.ver_info4);
}

void chassis_status(request_ctx& c) {
    const auto& s = c.self();
    auto m = c.reply(116);
    w::put_u8(m, 20, static_cast<std::uint8_t>(s.ports.size()));
    w::put_u8(m, 21, s.power_status);
    w::put_u8(m, 23, s.temp_status);
    w::put_be32(m, 24, static_cast<std::uint32_t>(s.temperature));
    for (std::size_t i = 0; i < 2; ++i) {
        w::put_u8(m, 28 + i, s.fans[i].installed ? 1 : 0);
        w::put_u8(m, 30 + i, s.fans[i].status);
    }
    for (std::size_t i = 0; i < s.ports.size(); ++i) w::put_u8(m, 32 + i, s.ports[i].gbic);
}

void sensors(request_ctx& c) {
    const auto& s = c.self();
    auto m = c.reply(100);
    w::put_u8(m, 28, s.sensor_index);
    for (std::size_t i = 0; i < s.sensor_states.size(); ++i)
        w::put_u8(m, 36 + 4 * i, s.sensor_states[i]);
}

void model(request_ctx& c) { w::put_u8(c.reply(28), 20, c.self().model); }

void system_info(request_ctx& c) {
    const auto& s = c.self();
    auto m = c.reply(220);
    const auto up = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - s.booted);
    w::put_be32(m, 20, static_cast<std::uint32_t>(up.count() / 10));
    // Each text keeps its terminating zero inside its 64 bytes.
    const auto text = [&](std::size_t off, const std::string& t) {
        w::put_text(m, off, 63, t);
    };
    text(24, s.description);
    text(88, s.contact);
    text(152, s.location);
}

constexpr std::array<handler_entry, 5> table{{
    {TV_CMD_VERSION, 0, version, false, "version"},
    {TV_CMD_CHASSIS_STATUS, 0, chassis_status, false, "chassis status"},
    {TV_CMD_CONFIG, 0x200, sensors, true, "sensors"},
    {TV_CMD_CONFIG, 0x202, model, true, "model"},
    {TV_CMD_CONFIG, 0x204, system_info, true, "system information"},
}};

}  // namespace

std::span<const handler_entry> identity_handlers() { return table; }

}  // namespace sim
