#include "every_entry_point.h"

#include <array>

#include "every_operation.h"
#include "telvar/sanwrapper.h"

namespace tvtest {

namespace {

// Port "1" and, where a port is asked for, the first zone of the hard zones.
constexpr std::array<entry_point, 16> entries{{
    {"get_version", [](const char* ip) {
         tv_version_info v{};
         return tvlsw_get_version(0, 0, ip, &v);
     }},
    {"discover", [](const char* ip) {
         std::array<char, TVLSW_DISCOVER_SLOT * 2> slots{};
         return tvlsw_discover(0, 0, nullptr, ip, "2", slots.data());
     }},
    {"chassis_status", [](const char* ip) {
         tv_chassis_status s{};
         return tvlsw_chassis_status(0, 0, ip, &s);
     }},
    {"links", [](const char* ip) {
         tv_switch_links links{};
         const int32_t r = tvlsw_links(0, 0, ip, &links);
         tv_free_switch_links(&links);
         return r;
     }},
    {"nameserver", [](const char* ip) {
         tv_nameserver_list ns{};
         const int32_t r = tvlsw_nameserver(0, 0, ip, &ns);
         tv_free_nameserverdata(&ns);
         return r;
     }},
    {"switch_initiators", [](const char* ip) {
         tv_initiators i{};
         return tvlsw_switch_initiators(0, 0, ip, &i);
     }},
    {"reset_log", [](const char* ip) { return tvlsw_reset_log(0, 0, ip); }},
    {"port_counts", [](const char* ip) {
         tv_port_counters c{};
         return tvlsw_port_counts(0, 0, ip, "1", &c);
     }},
    {"port_status", [](const char* ip) {
         tv_port_status s{};
         int32_t count = 0;
         const int32_t r = tvlsw_port_status(0, 0, 1, ip, "1", &s, &count);
         tv_free_port_status(&s);
         return r;
     }},
    {"port_state", [](const char* ip) {
         tvlsw_port_states states{};
         const int32_t r = tvlsw_port_state(0, 0, "off", ip, "1", &states);
         return states.count <= TV_MAX_PORTS ? r : -2;  // -2: no result an entry point has
     }},
    {"start_test", [](const char* ip) { return tvlsw_start_test(0, 0, nullptr, nullptr, 0, 1, nullptr, ip, "1"); }},
    {"test_status", [](const char* ip) {
         tv_test_status_info s{};
         return tvlsw_test_status(0, 0, ip, "1", &s);
     }},
    {"stop_test", [](const char* ip) { return tvlsw_stop_test(0, 0, ip, "1"); }},
    {"get_zone", [](const char* ip) {
         tv_port_zone zone{};
         tv_port_zone_set set{};
         const int32_t r = tvlsw_get_zone(0, 0, 0, ip, "hd", "all", &zone, &set);
         tv_free_port_zone(&zone, 0);
         tv_free_port_zone_set(&set, 0);
         return r;
     }},
    {"set_zone", [](const char* ip) {
         tv_port_zone zone{};
         return tvlsw_set_zone(0, 0, 0, 1, ip, "hd", "1", "1", 1, &zone);
     }},
    {"port_type", [](const char* ip) {
         tv_port_types types{};
         const int32_t r = tvlsw_port_type(0, 0, nullptr, ip, "1", &types);
         tv_free_port_types(&types);
         return r;
     }},
}};

}  // namespace

std::span<const entry_point> every_entry_point() { return entries; }

const std::set<int32_t>& entry_point_results() {
    static const std::set<int32_t> results = [] {
        std::set<int32_t> r = defined_statuses();
        r.insert({TVLSW_ERR_OPEN, TVLSW_ERR_IP, TVLSW_ERR_PORT_COUNT, TVLSW_ERR_PORT, TVLSW_BAD_TEXT});
        return r;
    }();
    return results;
}

}  // namespace tvtest
