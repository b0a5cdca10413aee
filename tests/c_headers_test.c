/* Compiled as C11: every public header is usable from C, and the library links from C. */
#include <stddef.h>
#include <string.h>

#include <telvar/namesrvr.h>
#include <telvar/onlntest.h>
#include <telvar/sanwrapper.h>
#include <telvar/telvar.h>
#include <telvar/traps.h>
#include <telvar/tv_api.h>
#include <telvar/tv_errs.h>
#include <telvar/utconfig.h>
#include <telvar/utilmsg.h>
#include <telvar/version.h>

_Static_assert(sizeof(tv_msg_header) == 16, "message header is 16 bytes");
_Static_assert(offsetof(tv_version_info, wwn) == 24, "version record layout");
_Static_assert(offsetof(tv_version_info, spare) == 44, "version record layout");
_Static_assert(sizeof(tv_sysconfig) == 196, "system information record is 196 bytes");
_Static_assert(offsetof(tv_chassis_status, gbic_type) == 12, "chassis status layout");
_Static_assert(offsetof(tv_context, sock) == 8, "context layout");
_Static_assert(offsetof(tv_trap_event, value) == 8 && sizeof(tv_trap_event) == 16, "trap event layout");
_Static_assert(offsetof(tv_sl_port_zones, ids) == 4, "SL zone ids: the count, then one word a port");
_Static_assert(offsetof(tv_switch_tovs, rttov) == 4 && sizeof(tv_switch_tovs) == 16, "timeouts layout");
_Static_assert(sizeof(tv_net_config) == 24, "network settings layout");
_Static_assert(sizeof(tv_switch_link) == 28, "a link record is 28 bytes");
_Static_assert(sizeof(tv_nameserver_entry) == 584, "a name-server record is 584 bytes");
_Static_assert(sizeof(tv_initiators) == 356, "the initiator record is 356 bytes");
_Static_assert(sizeof(tv_port_counters) == 39 * 4, "the counter record is 39 words");
_Static_assert(offsetof(tv_test_status_info, test_fail_cnt) == 4 &&
               offsetof(tv_test_status_info, port_test_count) == 24 &&
               sizeof(tv_test_status_info) == 152, "test status layout");
_Static_assert(offsetof(tv_port_status, f_port.port_wwn) == offsetof(tv_port_status, loop) + 4 &&
               offsetof(tv_port_status, t_port.remote_wwn) == offsetof(tv_port_status, loop) + 8,
               "port status layout: the details overlay one another after the fixed part");
_Static_assert(offsetof(tvlsw_port_states, entries) == 4 && sizeof(tvlsw_port_states) == 4 + 8 * 24,
               "port-state copy: the count, then two words a port inline");

int main(void) {
    unsigned char msg[20];
    memset(msg, 0, sizeof msg);
    if (tv_calc_chksum("abc", 3) != 294u) return 1;
    if (strcmp(tv_api_version(), "1.0.8.REV.2001.06.21.16.33") != 0) return 2;
    tv_msg_hdr(NULL, msg, TV_CMD_VERSION, 20);
    if (msg[0] != 0x11 || msg[9] != TV_CMD_VERSION) return 3;
    if (strcmp(Usage[0], "telvar\n") != 0 || strcmp(Port_State[1], "  on") != 0) return 5;
    if (all_chassis[11] != -1 || strcmp(Device_Port_Types[4].name, "FL  ") != 0) return 6;
    if (tvlsw_goodbadip("10.0.0.1") != 0 || tvlsw_goodbadip("10.0.0.0") != TVLSW_ERR_IP) return 7;
    fp = NULL; /* the command layer prints nothing then */
    show_wwn(msg, "\n");
    return tv_api_errno == TV_OK ? 0 : 4;
}
