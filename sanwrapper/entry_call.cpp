// The common prologue and epilogue of the diagnostic entry points (entry_call.h), and the
// globals they publish.
#include "sanwrapper/entry_call.h"

#include <cstdio>

#include "telvar/framework/output.h"

extern "C" {
uint16_t g_tvlsw_udpport = 0;
int32_t Main = 0;
tv_context* tmp_context = nullptr;
tv_version_info tmp_version{};
tv_sysconfig tmp_sysconfig{};
}

namespace tvlsw {

void record_call(uint32_t fcaddr, uint32_t udpport) {
    g_remotefcaddr = fcaddr;
    g_tvlsw_udpport = static_cast<uint16_t>(udpport);
}

int32_t open_call(const call& c, tv_context*& ctx) {
    if (c.check == ip_check::first && tvlsw_goodbadip(c.ip) != TV_OK) return TVLSW_ERR_IP;
    if (c.refused != TV_OK) return c.refused;
    record_call(c.fcaddr, c.udpport);
    if (c.check == ip_check::after_recording && tvlsw_goodbadip(c.ip) != TV_OK)
        return TVLSW_ERR_IP;

    if (c.version_only) g_logincmd = 1;
    const int32_t local_port = g_tvlsw_udpport != 0 ? int32_t{g_tvlsw_udpport}
                                                    : telvar::local_udp_port(nullptr);
    ctx = tv_opencontext(c.ip, local_port);
    if (ctx == nullptr) {
        if (c.version_only) g_logincmd = 0;
        return TVLSW_ERR_OPEN;
    }
    if (g_remotefcaddr != 0) tv_set_dest_addr(ctx, g_remotefcaddr);
    if (c.version_only) g_logincmd = 0;
    else if (g_logincmd == 0) {
        Max_Ports = tv_get_num_of_ports(ctx);
        if (Max_Ports < 0) {
            close_ip_context(ctx);
            ctx = nullptr;
            return TVLSW_ERR_PORT_COUNT;
        }
    }
    return TV_OK;
}

void session::close() {
    if (ctx_ == nullptr) return;
    close_ip_context(ctx_);
    ctx_ = nullptr;
}

port_arg session::port(const char* text, bad_port_text on_bad, range_message message) {
    const telvar::port_text_result p = telvar::parse_port_text(text, true);
    if (p.ok) return {true, p.port};
    if (p.out_of_range) {
        // Standard error itself, not the command layer's stream: the host may have silenced it.
        if (message == range_message::print) std::fprintf(stderr, "bad port number: %d\n", p.port);
        return {false, TVLSW_ERR_PORT};
    }
    if (on_bad == bad_port_text::usage) {
        close();
        usage();
    }
    return {false, TVLSW_BAD_TEXT};
}

}  // namespace tvlsw
