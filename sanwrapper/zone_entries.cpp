// Entry points on port zones: read one zone or every zone of a type, write one zone.
//
// A refused type, id or member returns 301 at once: nothing further is asked of the switch
// once a check has failed, so no later exchange can overwrite the refusal.
#include <array>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "sanwrapper/entry_call.h"
#include "telvar/framework/zone_args.h"
#include "tv_api/command_support.h"

namespace {

constexpr int32_t zone_id_limit = 16;
constexpr int32_t ns_word_id_limit = 256;  // ids of a type given as the word "ns"
constexpr int32_t all_zones = -1;
// Bytes of one member slot: a port number of up to two digits and its NUL.
constexpr std::size_t member_slot = 3;
// A zone has no more members than its switch has ports; a count far beyond any switch's is the
// caller's mistake, refused before the member texts are read.
constexpr int32_t max_members = 256;

struct zone_key {
    bool ok = false;
    uint32_t type = 0;
    int32_t id = 0;  // or all_zones
};

// The zone type and id texts, with the checks both zone entry points make.
zone_key read_zone_key(const char* type_text, const char* id_text, bool allow_all) {
    const telvar::zone_type_arg type = telvar::parse_zone_type(type_text);
    if (type.what != telvar::zone_type_arg::kind::type) return {};
    const int32_t limit =
        type_text != nullptr && std::string_view{type_text} == "ns" ? ns_word_id_limit : zone_id_limit;
    if (allow_all && id_text != nullptr && std::string_view{id_text} == "all")
        return {true, static_cast<uint32_t>(type.value), all_zones};
    if (!telvar::starts_with_digit(id_text)) return {};
    const int32_t id = tv::to_int(id_text);
    if (id >= limit) return {};
    return {true, static_cast<uint32_t>(type.value), id};
}

// Slot i of the member texts, read up to its NUL and never past the slot.
int32_t member_port(const char* members, std::size_t i) {
    std::array<char, member_slot + 1> text{};
    const char* slot = members + member_slot * i;
    for (std::size_t k = 0; k < member_slot && slot[k] != '\0'; ++k) text[k] = slot[k];
    return tv::to_int(text.data());
}

struct free_deleter {
    void operator()(uint32_t* p) const { std::free(p); }
};

}  // namespace

extern "C" {

int32_t tvlsw_get_zone(uint32_t fcaddr, uint32_t udpport, int32_t saved, const char* ip,
                       const char* zone_type, const char* zone_id, tv_port_zone* zone,
                       tv_port_zone_set* set) {
    if (zone != nullptr) *zone = tv_port_zone{};
    if (set != nullptr) *set = tv_port_zone_set{};
    const tvlsw::call c{fcaddr, udpport, ip, tvlsw::ip_check::first, tvlsw::refuse_null(zone, set)};
    return tvlsw::run(c, [&](tvlsw::session& s) -> int32_t {
        const zone_key key = read_zone_key(zone_type, zone_id, true);
        if (!key.ok) return TV_ERR_PARAM;
        zone->type = set->type = key.type;
        const int32_t which = saved != 0 ? 1 : 0;
        if (key.id == all_zones) return tv_get_port_zone_set(s.ctx(), set, which);
        zone->id = static_cast<uint32_t>(key.id);
        return tv_get_port_zone(s.ctx(), zone, which);
    });
}

int32_t tvlsw_set_zone(uint32_t fcaddr, uint32_t udpport, int32_t save, int32_t enable,
                       const char* ip, const char* zone_type, const char* zone_id,
                       const char* members, int32_t count, tv_port_zone* zone) {
    const tvlsw::call c{fcaddr, udpport, ip, tvlsw::ip_check::first, tvlsw::refuse_null(zone)};
    return tvlsw::run(c, [&](tvlsw::session& s) -> int32_t {
        const zone_key key = read_zone_key(zone_type, zone_id, false);
        const bool sl_zero = key.type == TV_ZONE_SL && key.id == 0;
        if (!key.ok || sl_zero || count < 0 || count > max_members ||
            (count > 0 && members == nullptr))
            return TV_ERR_PARAM;

        const auto n = static_cast<std::size_t>(count);
        std::unique_ptr<uint32_t, free_deleter> ports{
            static_cast<uint32_t*>(std::calloc(n > 0 ? n : 1, sizeof(uint32_t)))};
        if (!ports) return TV_ERR_NOMEM;
        *zone = tv_port_zone{key.type, static_cast<uint32_t>(key.id), enable != 0 ? 1u : 0u,
                             static_cast<uint32_t>(count), ports.get()};
        Max_Ports = tv_get_num_of_ports(s.ctx());
        int32_t status = TV_OK;
        for (std::size_t i = 0; i < n; ++i) {
            const int32_t p = member_port(members, i);
            if (p < 1 || p > Max_Ports) status = TV_ERR_PARAM;
            ports.get()[i] = static_cast<uint32_t>(p - 1);
        }
        if (status == TV_OK) status = tv_set_port_zone(s.ctx(), zone, save != 0 ? 1 : 0);
        // The array goes with this call: leave no pointer to it in the caller's record.
        zone->ports = nullptr;
        return status;
    });
}

}  // extern "C"
