// Which arbitrated-loop physical addresses (ALPAs) are still free on a switch: built once per
// process from the constant map of valid ALPAs, then marked as the port-status report meets
// devices on SL ports. A switch whose firmware supports SL zones keeps one map per SL zone,
// since each zone is a loop address space of its own.
//
// The state is process-wide and never released (the maps describe what was seen since the
// first call); every index into it is bounded by the room of the record it comes from.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "proto/loop_alpas.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

constexpr std::uint8_t unavailable = 0xFF;

// The k-th valid ALPA sits at position k + 2 of the loop-initialisation position map (position
// 0 is the L bit, position 1 ALPA 0x00), which is sent as 32-bit words, most significant bit
// first: position p is bit 31 - p mod 32 of word p div 32.
constexpr std::array<std::uint8_t, 256> build_alpa_map() {
    std::array<std::uint8_t, 256> map{};
    map.fill(unavailable);
    for (std::size_t k = 0; k < tv::valid_alpas.size(); ++k) {
        const std::size_t p = k + 2;
        map[tv::valid_alpas[k]] = static_cast<std::uint8_t>(32 * (p / 32) + 31 - p % 32);
    }
    return map;
}
constexpr std::array<std::uint8_t, 256> alpa_map = build_alpa_map();

// " 0x%02x" for every available ALPA of a map, eight to a line.
void print_alpa_list(const std::uint8_t* map) {
    std::uint8_t printed = 0;  // 8 bits wide: only its value modulo 8 matters
    for (int v = 0; v < 256; ++v) {
        if (map[v] == unavailable) continue;
        telvar::print(" 0x%02x", v);
        if (printed % 8 == 7) telvar::print("\n");
        ++printed;
    }
    if (printed % 8 != 0) telvar::print("\n");
}

std::uint32_t port_entries(const tv_sl_port_zones& zones) {
    return std::min<std::uint32_t>(zones.count, TV_MAX_PORTS);
}

}  // namespace

extern "C" {

const uint8_t alpa_to_bitmap[256] = {
#define ALPA_ROW(r)                                                                               \
    alpa_map[r], alpa_map[r + 1], alpa_map[r + 2], alpa_map[r + 3], alpa_map[r + 4],              \
        alpa_map[r + 5], alpa_map[r + 6], alpa_map[r + 7]
    ALPA_ROW(0x00), ALPA_ROW(0x08), ALPA_ROW(0x10), ALPA_ROW(0x18), ALPA_ROW(0x20),
    ALPA_ROW(0x28), ALPA_ROW(0x30), ALPA_ROW(0x38), ALPA_ROW(0x40), ALPA_ROW(0x48),
    ALPA_ROW(0x50), ALPA_ROW(0x58), ALPA_ROW(0x60), ALPA_ROW(0x68), ALPA_ROW(0x70),
    ALPA_ROW(0x78), ALPA_ROW(0x80), ALPA_ROW(0x88), ALPA_ROW(0x90), ALPA_ROW(0x98),
    ALPA_ROW(0xa0), ALPA_ROW(0xa8), ALPA_ROW(0xb0), ALPA_ROW(0xb8), ALPA_ROW(0xc0),
    ALPA_ROW(0xc8), ALPA_ROW(0xd0), ALPA_ROW(0xd8), ALPA_ROW(0xe0), ALPA_ROW(0xe8),
    ALPA_ROW(0xf0), ALPA_ROW(0xf8),
#undef ALPA_ROW
};

int32_t record_inititialized = 0;
int32_t SL_Zones_Capable = 0;
uint8_t available_alpa[256];
tv_sl_port_zones sl_port_zone;
uint16_t* sl_zones = nullptr;
uint32_t num_of_zones = 0;
uint8_t** zone_alpas = nullptr;

int32_t get_zone_list(uint16_t* zones, const tv_sl_port_zones* list) {
    if (zones == nullptr || list == nullptr) {
        tv_api_errno = TV_ERR_ARG;
        return -1;
    }
    const std::uint32_t n = port_entries(*list);
    std::fill_n(zones, n, std::uint16_t{0});
    std::uint32_t found = 0;
    for (std::uint32_t p = 0; p < n; ++p) {
        const auto id = static_cast<std::uint16_t>(list->ids[p]);
        if (std::find(zones, zones + found, id) == zones + found) zones[found++] = id;
    }
    return static_cast<int32_t>(found);
}

int32_t init_record_alpa(tv_context* ctx) {
    if (record_inititialized) return 0;
    record_inititialized = 1;  // before anything can fail: a failed first call is not repeated
    tv_version_info version{};
    if (tv_get_version(ctx, &version) != 0) return tv_api_errno;
    if ((version.flash_rev & 0xFF00) == 0x0200) {  // firmware without SL zones
        std::memcpy(available_alpa, alpa_to_bitmap, sizeof available_alpa);
        return 0;
    }
    SL_Zones_Capable = 1;
    if (tv_get_sl_port_zone(ctx, &sl_port_zone) != 0) return tv_api_errno;
    const std::uint32_t ports = port_entries(sl_port_zone);
    sl_zones = static_cast<uint16_t*>(std::calloc(std::max<std::uint32_t>(ports, 1), sizeof *sl_zones));
    if (sl_zones == nullptr) return tv_api_errno = TV_ERR_NOMEM;
    const auto zones = static_cast<std::uint32_t>(get_zone_list(sl_zones, &sl_port_zone));
    zone_alpas = static_cast<uint8_t**>(std::calloc(std::max<std::uint32_t>(zones, 1), sizeof *zone_alpas));
    if (zone_alpas == nullptr) return tv_api_errno = TV_ERR_NOMEM;
    // num_of_zones counts only the maps that exist, so nothing reads a missing one.
    for (; num_of_zones < zones; ++num_of_zones) {
        zone_alpas[num_of_zones] = static_cast<uint8_t*>(std::malloc(sizeof alpa_to_bitmap));
        if (zone_alpas[num_of_zones] == nullptr) return tv_api_errno = TV_ERR_NOMEM;
        std::memcpy(zone_alpas[num_of_zones], alpa_to_bitmap, sizeof alpa_to_bitmap);
    }
    return 0;
}

int32_t record_alpa(int32_t port, int32_t alpa) {
    const auto a = static_cast<std::uint8_t>(alpa);
    if (!SL_Zones_Capable) {
        available_alpa[a] = unavailable;
        return 0;
    }
    if (port < 0 || static_cast<std::uint32_t>(port) >= port_entries(sl_port_zone)) return 0;
    for (std::uint32_t i = 0; i < num_of_zones; ++i)
        if (sl_zones[i] == sl_port_zone.ids[port]) zone_alpas[i][a] = unavailable;
    return 0;
}

int32_t show_available_alpas(void) {
    if (!SL_Zones_Capable) {
        telvar::print("Available ALPAs:\n");
        print_alpa_list(available_alpa);
        return 0;
    }
    telvar::print("Available Zoned ALPAs:\n");
    for (std::uint32_t i = 0; i < num_of_zones; ++i) {
        telvar::print("Zone: %d, Ports: ", sl_zones[i]);
        for (std::uint32_t p = 0; p < port_entries(sl_port_zone); ++p)
            if (sl_port_zone.ids[p] == sl_zones[i]) telvar::print("%d ", static_cast<int>(p + 1));
        telvar::print("\n");
        print_alpa_list(zone_alpas[i]);
    }
    return 0;
}

}  // extern "C"
