/* libtelvar: the command layer of the telvar tool.
 *
 * Conventions of this layer, on top of those of tv_api.h:
 *  - everything it prints goes to the stream fp (standard error until the host changes it; a
 *    null fp prints nothing);
 *  - a command function takes the tool's argument vector: argv[0] is the command's own name,
 *    then options and global flags (-port, -f, -u, -p, -h), then the switch's address, then the
 *    command's arguments;
 *  - a command returns the status code of a failed open, else what tv_api_errno holds after
 *    closing the context (0);
 *  - a command-line error prints the usage text and ends the process with exit status 1; that
 *    and a WWN text of the wrong length (exit status 0) are the only places where the library
 *    ends the process;
 *  - the displays print records filled by the protocol operations; port numbers passed to them
 *    are counted from 0 (or TV_ALL_PORTS) and printed counted from 1.
 */
#ifndef TELVAR_H
#define TELVAR_H

#include <stdint.h>
#include <stdio.h>

#include "tv_api.h"

/* A function that never returns, in C and in C++. */
#if defined(__cplusplus)
#define TV_NORETURN [[noreturn]]
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TV_NORETURN _Noreturn
#elif defined(__GNUC__)
#define TV_NORETURN __attribute__((noreturn))
#else
#define TV_NORETURN
#endif

/* Entries of the Usage table: entry 0 names the tool and is not printed. */
#define TELVAR_USAGE_LINES 58

TV_BEGIN_DECLS

/* ---- Globals of the command layer ---- */
TV_EXPORT extern FILE *fp;                 /* output stream of every report (stderr) */
TV_EXPORT extern uint32_t g_remotefcaddr;  /* target FC address from -f; 0: none */
TV_EXPORT extern const char *g_udpport;    /* value of -port (points into argv); null: none */
TV_EXPORT extern const char *g_userid;     /* value of -u: log in as this user */
TV_EXPORT extern const char *g_pw;         /* value of -p other than -port: its password */
TV_EXPORT extern int32_t g_logincmd;       /* nonzero: opening skips the port-count query */
TV_EXPORT extern int32_t adminlevel;       /* for the dispatcher; the library ignores it */
TV_EXPORT extern int32_t Max_Ports;        /* ports of the switch opened last (8 if unknown) */
TV_EXPORT extern const char *const Usage[TELVAR_USAGE_LINES];

/* ---- Command framework ---- */
/* Handles the global flag at (*argv)[0]. Returns 1 when it was one (its value consumed: *argv
 * then points at the value, *argc counts it as gone), 0 when it is none. -h, and a flag whose
 * value is missing, print the usage text and end the process. */
TV_EXPORT int32_t check_global_switches(int32_t *argc, char ***argv);
/* Prints the version line and the usage text on fp, then exits with status 1. */
TV_NORETURN TV_EXPORT void usage(void);
/* Opens a context on argv[0], the switch's address, after checking that at least min elements
 * remain (usage otherwise). Applies -port/TELVARPORT, -f, logs in with -u and -p when a user
 * id was given, and reads Max_Ports. Stores the address text in *ip_out when ip_out is not
 * null. Null with tv_api_errno set on failure; nothing is printed then. */
TV_EXPORT tv_context *open_ip_context(int32_t argc, char **argv, int32_t min, char **ip_out);
/* As open_ip_context, then reads the port text argv[1]: 1 to Max_Ports gives wire port n - 1,
 * "all" gives TV_ALL_PORTS where allow_all is nonzero. A number out of range prints
 * "bad port number: %d\n" and returns null; any other text prints the usage text and exits. */
TV_EXPORT tv_context *open_ip_port_context(int32_t argc, char **argv, int32_t min,
                                           int32_t allow_all, char **ip_out, int32_t *port_out);
/* Closes a context (null is ignored); tv_api_errno is 0 afterwards. */
TV_EXPORT void close_ip_context(tv_context *ctx);
/* "Error: " and the system's text for errno when errno names a system error, else the status
 * code's message. */
TV_EXPORT void print_error(int32_t code);
/* Parses 16 hexadecimal digits into 8 bytes and returns 8. A text of any other length prints
 * "Invalid WWN string length: %d, for %s\n" and ends the process with exit status 0. */
TV_EXPORT int32_t ascii_to_wwn(uint8_t *wwn, const char *text);

/* ---- Displays: switch and chassis ---- */
/* 16 lower-case hex digits, or "<missing>" padded to that width for an all-zero WWN, then the
 * suffix (when not null). */
TV_EXPORT void show_wwn(const uint8_t *wwn, const char *suffix);
TV_EXPORT int32_t show_version(const tv_version_info *version);
TV_EXPORT int32_t show_chassis_status(const tv_chassis_status *status);
TV_EXPORT void show_sysconfig(const tv_sysconfig *cfg);
/* "Timeout Values:" and the four values, one a line. */
TV_EXPORT void show_chassis_tovs(const tv_switch_tovs *tovs);

/* ---- Displays: initiators and the fabric topology ---- */
/* Chassis numbers the topology walk has descended into (-1: free); only the first 12 entries
 * are used, and nothing clears them for the life of the process. */
#define TELVAR_TOPO_CHASSIS 16
TV_EXPORT extern int32_t all_chassis[TELVAR_TOPO_CHASSIS];
/* One line per initiator, each with the switch's WWN from its version record. Returns 0. */
TV_EXPORT int32_t show_initiators(const tv_version_info *version,
                                  const tv_initiators *initiators);
/* Records a chassis in all_chassis: 1 when newly recorded, 0 when known or the table is full. */
TV_EXPORT int32_t add_to_topo(int32_t chassis);
/* Prints the link table of the switch the context addresses, then walks depth first into every
 * chassis its links lead to that all_chassis does not hold yet (recording it). The caller
 * records the starting chassis first, or its table is printed again when a link leads back.
 * Returns the first failure's status code, 0 on success. */
TV_EXPORT int32_t print_topo(tv_context *ctx);

/* ---- Displays: name server ---- */
/* A name for a code, in tables whose codes are sparse. */
typedef struct tv_code_name {
    int32_t code;
    const char *name;
} tv_code_name;
/* Port type codes of name-server objects and their four-character names; any other code is
 * printed "??  ". */
TV_EXPORT extern const tv_code_name Device_Port_Types[7];
/* FC-4 type numbers and their names; other types have none. */
TV_EXPORT extern const tv_code_name FC4_Types[17];
/* The name-server table: port, address, type, port and node WWN and the lowest FC-4 type of
 * every object, or "Database is empty". */
TV_EXPORT void show_nameserverinfo(const tv_nameserver_list *list);

/* ---- Displays: ports ---- */
/* Name tables, indexed by code. */
TV_EXPORT extern const char *const Port_Types[6];
TV_EXPORT extern const char *const Port_State[6];
TV_EXPORT extern const char *const MFS_Modes[7];
/* Admin and operational state of one port, or of every entry for TV_ALL_PORTS. */
TV_EXPORT int32_t show_port_state(const tv_port_state *state, int32_t port);
/* MFS mode of one port, or of ports 0 to Max_Ports - 1 for TV_ALL_PORTS. */
TV_EXPORT int32_t show_port_mfs_modes(int32_t port, const tv_port_mfs_modes *modes);
/* What is attached to a port: the linked switch, the device, or the loop's devices (whose
 * ALPAs an SL_Port records with record_alpa). 0 for a port that is offline or has nothing
 * logged in, else tv_api_errno. */
TV_EXPORT int32_t show_port_status(const tv_port_status *status);
/* "Port:" and the 38 counters of a port, one a line. Returns 0. */
TV_EXPORT int32_t show_port_counters(int32_t port, const tv_port_counters *counters);
/* The routing table as seen from a port: each chassis a route leads to, with the port it
 * leaves by; header nonzero prints the table's heading first. Returns 0. */
TV_EXPORT int32_t show_port_steering(int32_t port, const tv_port_steering *steering,
                                     int32_t header);
/* The test's failure count and the per-port state, pass and failure lists: one port's entries,
 * or entries 0 to port_count - 1 for TV_ALL_PORTS. Returns 0. */
TV_EXPORT int32_t show_test_status(const tv_test_status_info *status, int32_t port);

/* ---- ALPA bookkeeping: which loop addresses are still free ---- */
/* ALPA maps are 256 bytes indexed by ALPA: 0xFF means not available (not a valid ALPA, or seen
 * in use), any other value available. alpa_to_bitmap holds, for each of the 126 valid ALPAs
 * other than 0x00, its bit number in the loop-initialisation position map. */
TV_EXPORT extern const uint8_t alpa_to_bitmap[256];
/* The state built by the first init_record_alpa and grown by record_alpa, for the life of the
 * process: without SL zones one map; with them one map per distinct SL zone id. */
TV_EXPORT extern int32_t record_inititialized;
TV_EXPORT extern int32_t SL_Zones_Capable;
TV_EXPORT extern uint8_t available_alpa[256];
TV_EXPORT extern tv_sl_port_zones sl_port_zone;
TV_EXPORT extern uint16_t *sl_zones;
TV_EXPORT extern uint32_t num_of_zones;
TV_EXPORT extern uint8_t **zone_alpas;
/* The distinct zone ids of the record's ports, in order of first appearance, into zones (room
 * for one id per port); their number, or -1 with status 22 for a null pointer. */
TV_EXPORT int32_t get_zone_list(uint16_t *zones, const tv_sl_port_zones *list);
/* Builds the maps once per process (later calls return 0 at once): 0, the status code of a
 * failed read, or 12 when memory ran out. */
TV_EXPORT int32_t init_record_alpa(tv_context *ctx);
/* Marks an ALPA of a device on a port (from 0) as in use, in the map of the port's SL zone.
 * Returns 0. */
TV_EXPORT int32_t record_alpa(int32_t port, int32_t alpa);
/* The ALPAs still available, eight to a line (per SL zone, with its ports). Returns 0. */
TV_EXPORT int32_t show_available_alpas(void);

/* ---- Switch configuration commands ---- */
/* chassis_mode [-s on|off|test] ip-address: sets the chassis mode, then reports the mode and
 * the stage type. */
TV_EXPORT int32_t chassis_mode(int32_t argc, char **argv);
/* chassis_tovs [-s] [-m mfstov] [-e edtov] [-a ratov] [-t rttov] ip-address: changes the named
 * active timeouts, saves the active configuration with -s, then shows the saved (-s) or active
 * values. */
TV_EXPORT int32_t chassis_tovs(int32_t argc, char **argv);
/* defaults ip-address [filename]: applies a defaults file (upload_settings). */
TV_EXPORT int32_t defaults(int32_t argc, char **argv);

/* ---- Port commands ---- */
/* port_mfs_mode [-s] [-M mfs-mode] ip-address port|all: sets the MFS mode (-M), saves the
 * active configuration (-s), then lists the mode of the port or of every port. */
TV_EXPORT int32_t port_mfs_mode(int32_t argc, char **argv);
/* port_steering ip-address port|all: the routing table as seen from the port, or from every
 * port in turn under one heading. */
TV_EXPORT int32_t port_steering(int32_t argc, char **argv);

/* ---- Zoning commands ---- */
/* disable_zone_type [-s] ip-address zone-type [zone-number]: clears the enabled bit of every
 * zone of the type (hd, ns, bcst, sl or 1 to 4); -s saves. */
TV_EXPORT int32_t disable_zone_type(int32_t argc, char **argv);
/* ns_zone_type [-s port|wwn] ip-address: prints the name-server zoning type, or sets it. */
TV_EXPORT int32_t ns_zone_type(int32_t argc, char **argv);
/* wwn_zone [-s] [-r 0|1|2] ip-address: saves, then resets, WWN zoning. Returns the status of a
 * failed save or reset as well. */
TV_EXPORT int32_t wwn_zone(int32_t argc, char **argv);
/* get_wwn_zone ip-address: lists the whole WWN zone table, a page at a time. */
TV_EXPORT int32_t get_wwn_zone(int32_t argc, char **argv);
/* set_wwn_zone [-i] ip-address zone-id WWN [name]: makes the WWN a member of the zone (-i:
 * besides its other zones). */
TV_EXPORT int32_t set_wwn_zone(int32_t argc, char **argv);
/* rem_wwn_zone ip-address zone-id WWN [name]: removes the WWN from the zone. */
TV_EXPORT int32_t rem_wwn_zone(int32_t argc, char **argv);
/* One page of the WWN zone table ("total: %d\n" before the first page); returns 1. */
TV_EXPORT int32_t show_wwn_zones(const tv_wwn_zone_page *page);

/* ---- Trap commands ---- */
/* get_trap_config [global flags] ip-address: trapping, sample interval and the table of every
 * trap code. */
TV_EXPORT int32_t get_trap_config(int32_t argc, char **argv);
/* The trap configuration table (or "No trap configuration data to print\n"). */
TV_EXPORT void show_trap_configs(const tv_trap_config_list *list);
/* set_trap_config [global flags] ip-address trapcode enabled rising falling: changes one code
 * and saves ("1" or "on" enable it). */
TV_EXPORT int32_t set_trap_config(int32_t argc, char **argv);
/* set_trapping [-i interval] [-t enabled|disabled] [global flags] ip-address: changes and
 * saves trapping and the sample interval. */
TV_EXPORT int32_t set_trapping(int32_t argc, char **argv);
/* Whether a key is waiting on standard input (above 0), without reading it; 0 or -1 when
 * standard input is no terminal of this process's. */
TV_EXPORT int32_t _kbhit(void);
/* trap_listen [-t seconds] [global flags] ip-address: prints trap events until a key is
 * pressed, the time is up or the process is interrupted, then unregisters. */
TV_EXPORT int32_t trap_listen(int32_t argc, char **argv);
/* trap_test [global flags] ip-address counter value: sets a trap counter of the switch and
 * sends a test alert to its listeners ("message sent\n"). */
TV_EXPORT int32_t trap_test(int32_t argc, char **argv);

/* ---- Maintenance commands ---- */
/* switch_reset [global flags] ip-address: sends the reset message; "SUCCESS\n" means only
 * that it was sent. */
TV_EXPORT int32_t switch_reset(int32_t argc, char **argv);
/* smlget [global flags] ip-address words...: sends the words, joined by blanks (at most 255
 * characters), as a management-variable get; prints the value in double quotes and a result
 * code above 0. */
TV_EXPORT int32_t smlget(int32_t argc, char **argv);
/* smlset [global flags] ip-address words...: as smlget for a set; "SUCCESS\n" on code 0. */
TV_EXPORT int32_t smlset(int32_t argc, char **argv);
/* message [global flags] ip-address input_file_name: sends the message written in the file
 * (one hexadecimal word per line) and dumps the 512-byte answer buffer, a word a line. */
TV_EXPORT int32_t message(int32_t argc, char **argv);

TV_END_DECLS

#endif
