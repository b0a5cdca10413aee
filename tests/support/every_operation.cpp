#include "every_operation.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <unistd.h>

namespace tvtest {

namespace {

// A small file of words, for the operations that read one.
std::FILE* some_file() {
    std::FILE* f = std::tmpfile();
    if (f != nullptr) {
        for (int i = 0; i < 600; ++i) std::fputc("0123456789abcdef\n"[i % 17], f);
        std::rewind(f);
    }
    return f;
}

template <class F>
int32_t with_file(F&& use) {
    std::FILE* f = some_file();
    if (f == nullptr) return -1;
    const int32_t status = use(f);
    std::fclose(f);
    return status;
}

constexpr std::uint8_t some_wwn[8] = {0x21, 0, 0, 0, 0x5e, 1, 1, 1};

// A version request built by hand, as a host that speaks the protocol itself does.
std::array<std::uint8_t, 20> version_request(tv_context* ctx) {
    std::array<std::uint8_t, 20> req{};
    tv_msg_hdr(ctx, req.data(), TV_CMD_VERSION, static_cast<int32_t>(req.size()));
    return req;
}

// The same request written word by word in a file of its own, for the raw-message sender
// (which takes a file name, not a stream).
int32_t with_message_file(tv_context* ctx) {
    char name[] = "/tmp/every_operation_message_XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) return -1;
    std::FILE* f = ::fdopen(fd, "w");
    if (f == nullptr) {
        ::close(fd);
        ::unlink(name);
        return -1;
    }
    std::fputs("# version request\n11000000\n00fffffd\n00070004\n00000001\n", f);
    std::fclose(f);
    std::array<std::uint8_t, 512> resp{};
    const int32_t st = tv_message(ctx, nullptr, nullptr, name, resp.data());
    ::unlink(name);
    return st;
}

int32_t zone_write(tv_context* ctx, std::uint32_t type) {
    std::array<std::uint32_t, 3> ports{0, 2, 5};
    tv_port_zone z{type, 1, 1, static_cast<std::uint32_t>(ports.size()), ports.data()};
    return type == TV_ZONE_SL ? tv_set_sl_zone(ctx, &z, 0) : tv_set_port_zone(ctx, &z, 0);
}

int32_t zone_read(tv_context* ctx, std::uint32_t type) {
    tv_port_zone z{};
    z.type = type;
    z.id = 1;
    const int32_t st = type == TV_ZONE_SL ? tv_get_sl_zone(ctx, &z, 0) : tv_get_port_zone(ctx, &z, 0);
    tv_free_port_zone(&z, 0);
    return st;
}

int32_t zone_set_read(tv_context* ctx, std::uint32_t type) {
    tv_port_zone_set set{};
    set.type = type;
    const int32_t st = type == TV_ZONE_SL ? tv_get_sl_zone_set(ctx, &set, 0)
                                          : tv_get_port_zone_set(ctx, &set, 0);
    tv_free_port_zone_set(&set, 0);
    return st;
}

const operation table[] = {
    // The exchange itself, and its two relatives that take whatever datagram comes.
    {"exchange", [](tv_context* c) {
         auto req = version_request(c);
         std::array<std::uint8_t, 512> resp{};
         tv_exchange(c, req.data(), static_cast<int32_t>(req.size()), resp.data(),
                     static_cast<int32_t>(resp.size()), 0);
         return tv_api_errno;
     }},
    {"listen", [](tv_context* c) {
         // The answer to a request sent by hand stands for an unsolicited datagram.
         auto req = version_request(c);
         tv_set_chksum(req.data(), static_cast<int32_t>(req.size()));
         if (tv_send(c, req.data(), static_cast<int32_t>(req.size())) < 0)
             return static_cast<int32_t>(TV_ERR_SEND);
         std::array<std::uint8_t, 512> buf{};
         return tv_listen(c, buf.data(), static_cast<int32_t>(buf.size()), 100);
     }},
    {"raw message", [](tv_context* c) { return with_message_file(c); }},
    {"version", [](tv_context* c) { tv_version_info v{}; return tv_get_version(c, &v); }},
    {"model", [](tv_context* c) { uint32_t m = 0; return tv_get_switch_model(c, &m); }},
    {"chassis status", [](tv_context* c) { tv_chassis_status s{}; return tv_get_chassis_status(c, &s); }},
    {"system information", [](tv_context* c) { tv_sysconfig s{}; return tv_get_snmp_sysconfig(c, &s); }},
    {"login", [](tv_context* c) { c->login_required = 1; return tv_login(c, "admin", "password"); }},
    {"logout", [](tv_context* c) { c->login_required = 1; return tv_logout(c); }},
    {"user add", [](tv_context* c) { return tv_user_add(c, "tester", "pw", 2); }},
    {"user delete", [](tv_context* c) { return tv_user_delete(c, "tester"); }},
    {"password", [](tv_context* c) { return tv_set_curr_user_pw(c, "", "new"); }},
    {"port types", [](tv_context* c) {
         tv_port_types t{};
         const int32_t st = tv_get_port_types(c, &t);
         tv_free_port_types(&t);
         return st;
     }},
    {"port count", [](tv_context* c) { tv_get_num_of_ports(c); return tv_api_errno; }},
    {"port state", [](tv_context* c) {
         tv_port_state s{};
         const int32_t st = tv_get_port_state(c, &s);
         tv_free_port_state(&s);
         return st;
     }},
    {"loop modes", [](tv_context* c) {
         tv_port_al_disabled a{};
         const int32_t st = tv_get_port_al_disabled(c, &a);
         tv_free_port_al_disabled(&a);
         return st;
     }},
    {"MFS modes", [](tv_context* c) {
         tv_port_mfs_modes m{};
         const int32_t st = tv_get_port_mfs_mode(c, &m);
         tv_free_port_mfs_mode(&m);
         return st;
     }},
    {"set loop mode", [](tv_context* c) { return tv_set_port_al_disabled(c, 5, 0); }},
    {"set port state", [](tv_context* c) { return tv_set_port_state(c, TV_ALL_PORTS, TV_PORT_STATE_ON); }},
    {"set port type", [](tv_context* c) { return tv_set_port_type(c, 5, TV_PORT_TYPE_FL, 1); }},
    {"set MFS mode", [](tv_context* c) { return tv_set_port_mfs_mode(c, 5, 2); }},
    {"hard zone", [](tv_context* c) { return zone_read(c, TV_ZONE_HD); }},
    {"hard zone block", [](tv_context* c) {
         return tv_port_zone_cmd(c, tv_zone_type_to_subcmd(TV_ZONE_HD, 0), 0);
     }},
    {"name-server zones", [](tv_context* c) { return zone_set_read(c, TV_ZONE_NS); }},
    {"set broadcast zone", [](tv_context* c) { return zone_write(c, TV_ZONE_BCST); }},
    {"disable hard zones", [](tv_context* c) { return tv_disable_zoning(c, TV_ZONE_HD, 0); }},
    {"enable hard zones", [](tv_context* c) { return tv_enable_zoning(c, TV_ZONE_HD, 0); }},
    {"disable and save broadcast zones", [](tv_context* c) { return tv_change_zoning(c, TV_ZONE_BCST, 1, 0); }},
    {"bare configuration command", [](tv_context* c) {
         return tv_simple_config_cmd(c, tv_zone_type_to_subcmd(TV_ZONE_HD + 0x600, 0));
     }},
    {"SL zone", [](tv_context* c) { return zone_read(c, TV_ZONE_SL); }},
    {"SL zones", [](tv_context* c) { return zone_set_read(c, TV_ZONE_SL); }},
    {"set SL zone", [](tv_context* c) { return zone_write(c, TV_ZONE_SL); }},
    {"SL zone read", [](tv_context* c) { return tv_get_sl_zone_cmd(c, tv_zone_type_to_subcmd(TV_ZONE_SL, 0)); }},
    // Sends the SL write buffer as the last SL write left it.
    {"SL zone write", [](tv_context* c) {
         return tv_set_sl_zone_cmd(c, tv_zone_type_to_subcmd(TV_ZONE_SL + 0x200, 0));
     }},
    {"SL port zones", [](tv_context* c) { tv_sl_port_zones z{}; return tv_get_sl_port_zone(c, &z); }},
    {"WWN zone page", [](tv_context* c) { tv_wwn_zone_page p{}; return tv_get_wwn_zone(c, 0, &p); }},
    {"find WWN", [](tv_context* c) { tv_find_wwn_zone(c, some_wwn); return tv_api_errno; }},
    {"set WWN zone", [](tv_context* c) { return tv_set_wwn_zone(c, 3, some_wwn, "x", 1); }},
    {"remove WWN zone", [](tv_context* c) { return tv_rem_wwn_zone(c, 3, some_wwn, "x"); }},
    {"reset WWN zoning", [](tv_context* c) { return tv_reset_wwn_zoning(c, 0); }},
    {"save WWN zoning", [](tv_context* c) { return tv_save_wwn_zoning(c); }},
    {"name-server zoning type", [](tv_context* c) { uint32_t t = 0; return tv_get_type_ns_zoning(c, &t); }},
    {"set name-server zoning type", [](tv_context* c) { return tv_set_type_ns_zoning(c, 0); }},
    {"topology", [](tv_context* c) { return tv_get_topology(c, 0); }},
    {"loop status", [](tv_context* c) { return tv_get_al_port_status(c, 2); }},
    {"node name", [](tv_context* c) { tv_get_node_name(c, 0x104201); return tv_api_errno; }},
    {"port steering", [](tv_context* c) { tv_port_steering s{}; return tv_get_port_steering(c, 0, &s); }},
    {"switch links", [](tv_context* c) {
         tv_switch_links l{};
         const int32_t st = tv_get_switch_links(c, &l);
         tv_free_switch_links(&l);
         return st;
     }},
    {"name-server object", [](tv_context* c) {
         tv_nameserver_entry* e = nullptr;
         const int32_t st = tv_snsgetall(c, 0, &e, 1);
         std::free(e);
         return st;
     }},
    {"name server", [](tv_context* c) {
         tv_nameserver_list l{};
         const int32_t st = tv_get_nameserverdata(c, &l);
         tv_free_nameserverdata(&l);
         return st;
     }},
    {"name-server entry", [](tv_context* c) { tv_nameserver_entry e{}; return tv_get_nameserverentry(c, 0x104000, &e); }},
    {"initiators", [](tv_context* c) { tv_initiators i{}; return tv_get_initiators(c, &i); }},
    {"port status", [](tv_context* c) {
         int32_t st = TV_OK;
         for (uint32_t port : {0u, 2u, 3u, 15u}) {  // F, FL, SL and T ports of the default fabric
             tv_port_status s{};
             st = tv_get_port_status(c, port, &s);
             tv_free_port_status(&s);
         }
         return st;
     }},
    {"port counters", [](tv_context* c) { tv_port_counters k{}; return tv_get_port_counters(c, 1, &k); }},
    {"reset log", [](tv_context* c) { return tv_reset_log(c); }},
    {"start test", [](tv_context* c) { return tv_start_test(c, 2, 100, 1, 0x7E7E7E7E); }},
    {"test status", [](tv_context* c) { tv_test_status_info t{}; return tv_test_status(c, &t); }},
    {"stop test", [](tv_context* c) { return tv_stop_test(c); }},
    {"timeouts", [](tv_context* c) { tv_switch_tovs t{}; return tv_get_switch_tovs(c, 1, &t); }},
    {"set timeouts", [](tv_context* c) {
         tv_switch_tovs t{0, 100, 10000, 2000};
         return tv_set_switch_tovs(c, &t);
     }},
    {"save active", [](tv_context* c) { return tv_save_active(c); }},
    {"chassis mode", [](tv_context* c) { uint32_t m = 0; return tv_get_chassis_mode(c, &m); }},
    {"set chassis mode", [](tv_context* c) { return tv_set_chassis_mode(c, 1); }},
    {"chassis type", [](tv_context* c) { uint32_t t = 0; return tv_get_chassis_type(c, &t); }},
    {"set chassis type", [](tv_context* c) {
         uint32_t t = 0;
         if (const int32_t st = tv_get_chassis_type(c, &t); st != TV_OK) return st;
         return tv_set_chassis_type(c, t);
     }},
    {"stage type", [](tv_context* c) { uint8_t s = 0; return tv_get_stagetype(c, 1, &s); }},
    {"SL zoning flag", [](tv_context* c) { uint8_t f = 0; return tv_get_slzoningmode_flag(c, &f); }},
    {"network settings", [](tv_context* c) { tv_net_config n{}; return tv_get_net_config(c, &n); }},
    {"set network settings", [](tv_context* c) {
         tv_net_config n{};
         if (const int32_t st = tv_get_net_config(c, &n); st != TV_OK) return st;
         return tv_set_net_config(c, &n);
     }},
    // The staging message: written back as the read left it.
    {"staged network settings", [](tv_context* c) { return tv_get_netconfig(c); }},
    {"set staged network settings", [](tv_context* c) {
         if (const int32_t st = tv_get_netconfig(c); st != TV_OK) return st;
         return tv_set_netconfig(c);
     }},
    {"network settings image", [](tv_context* c) {
         std::array<std::uint8_t, 44> image{};
         tv_get_netconfig_data(c, image.data());
         return tv_api_errno;
     }},
    {"set network settings image", [](tv_context* c) {
         std::array<std::uint8_t, 44> image{};
         if (tv_get_netconfig_data(c, image.data()) < 1) return tv_api_errno;
         tv_set_netconfig_data(c, image.data());
         return tv_api_errno;
     }},
    {"parameter image", [](tv_context* c) {
         std::array<std::uint8_t, 68> image{};
         return tv_get_port_config(c, 3, image.data());  // the saved set, copied out
     }},
    {"set parameters", [](tv_context* c) {
         if (const int32_t st = tv_get_port_config(c, 0, nullptr); st != TV_OK) return st;
         return tv_set_config(c);
     }},
    {"parameter message", [](tv_context* c) {
         std::array<std::uint8_t, 116> msg{};
         tv_get_port_config_data(c, 0, 1, msg.data());
         return tv_api_errno;
     }},
    {"set parameter message", [](tv_context* c) {
         std::array<std::uint8_t, 116> msg{};
         if (tv_get_port_config_data(c, 0, 0, msg.data()) < 1) return tv_api_errno;
         tv_set_config_data(c, msg.data());
         return tv_api_errno;
     }},
    {"defaults file", [](tv_context* c) { return with_file([&](std::FILE* f) { return upload_settings(c, f); }); }},
    {"firmware load", [](tv_context* c) {
         // The load's waits last up to 2 s whatever the wait setting, but each one that ends
         // empty counts only that setting against the budget: count a whole budget instead, so
         // that answers it reads past cost one long wait, not budget / wait of them.
         const int32_t wait = g_ip_timeout;
         g_ip_timeout = std::max(wait, g_timeout);
         const int32_t st = with_file([&](std::FILE* f) { return tv_codeload(c, f, 600); });
         g_ip_timeout = wait;
         return st;
     }},
    {"download", [](tv_context* c) { return with_file([&](std::FILE* f) { return tv_download(c, 1, f, 300); }); }},
    {"download from memory", [](tv_context* c) {
         // The transfer raises the wait and the budget by 2000 and 4000 for its duration: lower
         // them first, so that it runs on the caller's own and a hostile switch costs it no more
         // than it costs any other operation.
         const int32_t wait = g_ip_timeout, budget = g_timeout;
         g_ip_timeout = wait - 2000;
         g_timeout = budget - 4000;
         std::array<std::uint8_t, 300> data{};  // two blocks
         for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
         const int32_t st = tv_download2(c, 1, 0, data.data(), static_cast<uint32_t>(data.size()));
         g_ip_timeout = wait;
         g_timeout = budget;
         return st;
     }},
    {"upload", [](tv_context* c) {
         uint8_t* buf = nullptr;
         uint32_t len = 0;
         const int32_t st = tv_upload(c, 1, 0, &buf, &len);
         std::free(buf);
         return st;
     }},
    {"trap configurations", [](tv_context* c) {
         tv_trap_config_list l{};
         const int32_t st = tv_get_all_trap_configs(c, 0, &l);
         tv_free_trap_configs(&l);
         return st;
     }},
    {"set trap configuration", [](tv_context* c) {
         tv_trap_config t{11, 1, 10, 2};
         return tv_set_trap_config(c, 0, &t);
     }},
    {"trap configuration", [](tv_context* c) { tv_trap_config t{}; return tv_get_trap_config(c, 0, 11, &t); }},
    {"trap configuration block", [](tv_context* c) {
         std::array<std::uint8_t, 300> block{};
         return tv_download_trap_config(c, 0, block.data());
     }},
    {"write trap configuration block", [](tv_context* c) {
         std::array<std::uint8_t, 300> block{};
         if (const int32_t st = tv_download_trap_config(c, 0, block.data()); st != TV_OK) return st;
         return tv_upload_trap_config(c, block.data());
     }},
    {"save trap configuration", [](tv_context* c) { return tv_save_trap_config(c); }},
    {"trapping", [](tv_context* c) { tv_trapping_status t{}; return tv_get_trapping_status(c, 0, &t); }},
    {"set and save trapping", [](tv_context* c) {
         tv_trapping_status t{};
         if (const int32_t st = tv_get_trapping_status(c, 0, &t); st != TV_OK) return st;
         return tv_set_trapping_status(c, 1, &t);
     }},
    {"add and remove a listener", [](tv_context* c) {
         // The context's own address: nothing else receives what the switch sends there.
         const uint32_t address = c->local_addr.sin_addr.s_addr;
         const uint16_t port = ntohs(c->local_addr.sin_port);
         if (const int32_t st = tv_set_trap_listener(c, address, port, 0); st != TV_OK) return st;
         return tv_set_trap_listener(c, address, port, 1);
     }},
    {"trap alert", [](tv_context* c) { return tv_send_trap_alert(c); }},
    {"trap counter", [](tv_context* c) {
         tv_trap_counter k{11, 1, 0, 25};
         return tv_set_trap_counter(c, &k);
     }},
    {"trap listener", [](tv_context* c) {
         tv_trap_listener* l = tv_trap_createlistener(c);
         if (l == nullptr) return tv_api_errno;
         tv_trap_event e{};
         tv_trap_listen(l, 0, &e);
         return tv_trap_release_listener(c, l);
     }},
    {"management variable", [](tv_context* c) {
         char* value = nullptr;
         int32_t code = 0;
         const int32_t st = tv_smlget(c, "show port 3", &value, &code);
         tv_smlfree(&value);
         return st;
     }},
    {"set management variable", [](tv_context* c) { int32_t code = 0; return tv_smlset(c, "set port 3 speed 2", &code); }},
    // Last: it reloads the saved set and, on a switch with a reset time, leaves it silent.
    {"switch reset", [](tv_context* c) { return tv_switch_reset(c); }},
};

}  // namespace

const std::set<int32_t>& defined_statuses() {
    static const std::set<int32_t> statuses{0,   12,  22,  105, 106, 107, 108, 110, 200,
                                            201, 202, 300, 301, 400, 401};
    return statuses;
}

std::span<const operation> every_operation() { return table; }

}  // namespace tvtest
