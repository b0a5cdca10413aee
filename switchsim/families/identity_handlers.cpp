// Identity and chassis status: version, model, chassis status, sensors, system information.
#include <algorithm>
#include <array>
#include <chrono>
#include <climits>

#include "proto/identity/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::identity;

void version(request_ctx& c) {
    const auto& s = c.self();
    const auto& id = c.state<identity_state>();
    auto m = c.reply(L::version::ret_len);
    w::put_be32(m, L::version::flash_rev, id.flash_rev);
    w::put_be32(m, L::version::hw_rev, id.hw_rev);
    w::put_be32(m, L::version::prom_rev, id.prom_rev);
    w::put_be32(m, L::version::info1, id.ver_info1);
    w::put_be32(m, L::version::info2, id.ver_info2);
    w::put_be32(m, L::version::fc_addr, s.fc_addr);
    w::put_bytes(m, L::version::wwn, id.wwn.data(), id.wwn.size());
    w::put_bytes(m, L::version::mac, id.mac.data(), id.mac.size());
    w::put_be32(m, L::version::info4, id.ver_info4);
}

void chassis_status(request_ctx& c) {
    const auto& s = c.self();
    const auto& id = c.state<identity_state>();
    auto m = c.reply(L::status::ret_len);
    w::put_u8(m, L::status::num_ports, static_cast<std::uint8_t>(s.ports.size()));
    w::put_u8(m, L::status::power, id.power_status);
    w::put_u8(m, L::status::temp_status, id.temp_status);
    w::put_be32(m, L::status::temperature, static_cast<std::uint32_t>(id.temperature));
    w::put_u8(m, L::status::fan1_installed, id.fans[0].installed ? 1 : 0);
    w::put_u8(m, L::status::fan2_installed, id.fans[1].installed ? 1 : 0);
    w::put_u8(m, L::status::fan1, id.fans[0].status);
    w::put_u8(m, L::status::fan2, id.fans[1].status);
    for (std::size_t i = 0; i < s.ports.size(); ++i) w::put_u8(m, L::status::gbic + i, s.ports[i].gbic);
}

void sensors(request_ctx& c) {
    const auto& id = c.state<identity_state>();
    auto m = c.reply(L::sensors::ret_len);
    w::put_u8(m, L::sensors::index, id.sensor_index);
    for (std::size_t i = 0; i < id.sensor_states.size(); ++i)
        w::put_u8(m, L::sensors::entries + L::sensors::entry_len * i, id.sensor_states[i]);
}

void model(request_ctx& c) {
    w::put_u8(c.reply(L::model::ret_len), L::model::code, c.state<identity_state>().model);
}

void system_info(request_ctx& c) {
    const auto& id = c.state<identity_state>();
    auto m = c.reply(L::sysconfig::ret_len);
    const auto up = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - c.self().booted);
    w::put_be32(m, L::sysconfig::uptime, static_cast<std::uint32_t>(up.count() / 10));
    // Each text keeps its terminating zero inside its field.
    const auto text = [&](std::size_t off, const std::string& t) {
        w::put_text(m, off, L::sysconfig::text_len - 1, t);
    };
    text(L::sysconfig::description, id.description);
    text(L::sysconfig::text2, id.contact);
    text(L::sysconfig::text3, id.location);
}

constexpr std::array<handler_entry, 5> table{{
    {TV_CMD_VERSION, 0, version, false, "version"},
    {TV_CMD_CHASSIS_STATUS, 0, chassis_status, false, "chassis status"},
    {TV_CMD_CONFIG, L::subcmd::sensors, sensors, true, "sensors"},
    {TV_CMD_CONFIG, L::subcmd::model, model, true, "model"},
    {TV_CMD_CONFIG, L::subcmd::sysconfig, system_info, true, "system information"},
}};

constexpr std::array<std::string_view, 18> keys{
    "flash_rev",   "hw_rev",      "prom_rev",     "ver_info1",     "ver_info2",   "ver_info4",
    "wwn",         "mac",         "model",        "power_status",  "temp_status", "temperature",
    "fans",        "sensor_index", "sensor_states", "description", "contact",     "location"};

void seed(switch_state& s) {
    s.get<identity_state>().description = "Simulated Fibre Channel switch " + s.name;
}

void read(const fields& j, switch_state& s) {
    auto& id = s.get<identity_state>();
    j.number("flash_rev", id.flash_rev, 0xFFFFFFFF);
    j.number("hw_rev", id.hw_rev, 0xFFFFFFFF);
    j.number("prom_rev", id.prom_rev, 0xFFFFFFFF);
    j.number("ver_info1", id.ver_info1, 0xFFFFFFFF);
    j.number("ver_info2", id.ver_info2, 0xFFFFFFFF);
    j.number("ver_info4", id.ver_info4, 0xFFFFFFFF);
    j.hex("wwn", id.wwn);
    j.hex("mac", id.mac);
    j.number("model", id.model, 0xFF);
    j.number("power_status", id.power_status, 0xFF);
    j.number("temp_status", id.temp_status, 0xFF);
    if (j.has("temperature"))
        id.temperature = static_cast<std::int32_t>(j.at("temperature").as_integer(INT32_MIN, INT32_MAX));
    if (j.has("fans")) {
        const fields fans = j.at("fans");
        if (fans.list_size() != id.fans.size()) fans.fail("expected a list of two fans");
        fans.each([&](const fields& f, std::size_t i) {
            static constexpr std::array<std::string_view, 2> fan_keys{"installed", "status"};
            f.expect_object(fan_keys);
            f.boolean("installed", id.fans[i].installed);
            f.number("status", id.fans[i].status, 0xFF);
        });
    }
    j.number("sensor_index", id.sensor_index, 0xFF);
    if (j.has("sensor_states")) {
        const fields states = j.at("sensor_states");
        if (states.list_size() != id.sensor_states.size())
            states.fail("expected a list of 12 state codes");
        states.each([&](const fields& v, std::size_t i) {
            id.sensor_states[i] = static_cast<std::uint8_t>(v.as_number(0xFF));
        });
    }
    j.text("description", id.description, L::sysconfig::text_len - 1);
    j.text("contact", id.contact, L::sysconfig::text_len - 1);
    j.text("location", id.location, L::sysconfig::text_len - 1);
}

}  // namespace

const family_info& identity_family::info() {
    static const family_info f{.name = "identity",
                               .handlers = table,
                               .switch_keys = keys,
                               .read_switch = read,
                               .seed = seed};
    return f;
}

}  // namespace sim
