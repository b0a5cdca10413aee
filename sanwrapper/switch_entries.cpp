// Entry points that work on a switch as a whole: the IP check, version, discovery, chassis
// status, links, name server, initiators and the test log's reset.
#include <arpa/inet.h>

#include <cstring>

#include "sanwrapper/entry_call.h"
#include "tv_api/command_support.h"

namespace {

// The last octet of a list address in network order, as the dotted text shows it.
uint8_t last_octet(uint32_t address) { return static_cast<uint8_t>(ntohl(address)); }

}  // namespace

extern "C" {

int32_t tvlsw_goodbadip(const char* ip) {
    if (ip == nullptr) return TVLSW_ERR_IP;
    // inet_addr gives all ones for a text it rejects, so its last octet is 255 too.
    const uint8_t octet = last_octet(inet_addr(ip));
    return octet == 0 || octet == 255 ? TVLSW_ERR_IP : TV_OK;
}

int32_t tvlsw_get_version(uint32_t fcaddr, uint32_t udpport, const char* ip,
                          tv_version_info* version) {
    const tvlsw::call c{fcaddr, udpport, ip, tvlsw::ip_check::first, tvlsw::refuse_null(version),
                        true};
    return tvlsw::run(c, [&](tvlsw::session& s) -> int32_t { return tv_get_version(s.ctx(), version); });
}

int32_t tvlsw_discover(uint32_t fcaddr, uint32_t udpport, const char* mask, const char* base_ip,
                       const char* range, char* results) {
    if (tvlsw_goodbadip(base_ip) != TV_OK) return TVLSW_ERR_IP;
    if (results == nullptr) return TV_ERR_PARAM;
    tvlsw::record_call(fcaddr, udpport);

    uint32_t* list = nullptr;
    const uint32_t* probed = nullptr;
    int32_t count = 0;
    if (mask != nullptr) {
        list = tv_ip_values_from_mask(base_ip, mask);
        // A mask that spans no list has nothing to probe: its status is the answer.
        if (list == nullptr) return tv_api_errno;
        probed = list;
        if (last_octet(list[0]) == 0) {
            list[0] = htonl(ntohl(list[0]) | 1u);
            // The next entry is then that same .1 address: probe it once, not twice.
            if (list[1] == list[0]) probed = list + 1;
        }
    } else {
        count = tv::to_int(range);
    }

    char** answers = tv_discover(probed, base_ip, count);
    if (answers == nullptr) {
        const int32_t status = tv_api_errno;
        tv_free_discovery(nullptr, list);
        return status;
    }
    for (std::size_t i = 0; answers[i] != nullptr; ++i) {
        // The text and its NUL, nothing after them: the slot's other bytes stay as they were.
        const std::size_t len = strnlen(answers[i], TVLSW_DISCOVER_SLOT - 1);
        char* slot = results + TVLSW_DISCOVER_SLOT * i;
        std::memcpy(slot, answers[i], len);
        slot[len] = '\0';
    }
    tv_free_discovery(answers, list);
    return TV_OK;
}

int32_t tvlsw_chassis_status(uint32_t fcaddr, uint32_t udpport, const char* ip,
                             tv_chassis_status* status) {
    return tvlsw::run({fcaddr, udpport, ip, tvlsw::ip_check::first, tvlsw::refuse_null(status)},
                      [&](tvlsw::session& s) -> int32_t {
                          if (const int32_t code = tv_get_chassis_status(s.ctx(), status)) return code;
                          tv_sysconfig cfg{};
                          if (const int32_t code = tv_get_snmp_sysconfig(s.ctx(), &cfg)) return code;
                          tmp_sysconfig = cfg;
                          return TV_OK;
                      });
}

int32_t tvlsw_links(uint32_t fcaddr, uint32_t udpport, const char* ip, tv_switch_links* links) {
    return tvlsw::run({fcaddr, udpport, ip, tvlsw::ip_check::first, tvlsw::refuse_null(links)},
                      [&](tvlsw::session& s) -> int32_t {
                          const int32_t code = tv_get_switch_links(s.ctx(), links);
                          if (code == TV_OK && Main == 1) tmp_context = s.keep();
                          return code;
                      });
}

int32_t tvlsw_nameserver(uint32_t fcaddr, uint32_t udpport, const char* ip,
                         tv_nameserver_list* ns) {
    return tvlsw::run({fcaddr, udpport, ip, tvlsw::ip_check::first, tvlsw::refuse_null(ns)},
                      [&](tvlsw::session& s) -> int32_t { return tv_get_nameserverdata(s.ctx(), ns); });
}

int32_t tvlsw_switch_initiators(uint32_t fcaddr, uint32_t udpport, const char* ip,
                                tv_initiators* initiators) {
    return tvlsw::run(
        {fcaddr, udpport, ip, tvlsw::ip_check::first, tvlsw::refuse_null(initiators)},
        [&](tvlsw::session& s) -> int32_t {
            tv_version_info version{};
            if (const int32_t code = tv_get_version(s.ctx(), &version)) return code;
            if (const int32_t code = tv_get_initiators(s.ctx(), initiators)) return code;
            tmp_version = version;
            return TV_OK;
        });
}

int32_t tvlsw_reset_log(uint32_t fcaddr, uint32_t udpport, const char* ip) {
    return tvlsw::run({fcaddr, udpport, ip},
                      [&](tvlsw::session& s) -> int32_t { return tv_reset_log(s.ctx()); });
}

}  // extern "C"
