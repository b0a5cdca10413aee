/* libtelvar: the diagnostic entry points, for diagnostic host programs.
 *
 * Each tvlsw_ function is one complete conversation with one switch: it checks the IP address
 * text, chooses the local UDP port, opens a context, points it at the target switch, reads the
 * switch's port count into Max_Ports, runs one or two operations, closes the context and
 * returns one integer. Nothing is printed, except "bad port number: %d\n" on standard error.
 *
 * Arguments shared by the entry points:
 *  - fcaddr: FC address of the target switch (24 bits); 0 keeps the context's default
 *    destination, the switch that owns the IP address. Stored in g_remotefcaddr.
 *  - udpport: local UDP port (only the low 16 bits are used); 0 takes TELVARPORT, else
 *    telvarport, else 5001 (so TELVARPORT=0 lets the system choose). Stored in g_tvlsw_udpport.
 *  - ip: dotted-decimal address of the switch; host names and addresses ending in .0 or .255
 *    are refused (501) where the entry point checks it.
 *  - port: text, "1" to Max_Ports (wire port n - 1) or "all".
 *  - records are the caller's; arrays an operation allocates inside one are released with the
 *    matching tv_free_... call. A null record is refused with 301 before anything is sent.
 *
 * Results: 0 success; 500 the context could not be opened (tv_api_errno says why); 501 the IP
 * text was refused; 502 the port count could not be read; 503 a port number outside 1 to
 * Max_Ports; -1 a bad port, state or type text; otherwise the status code of the failing
 * operation (tv_errs.h). Single-threaded, like the rest of the library. */
#ifndef TV_SANWRAPPER_H
#define TV_SANWRAPPER_H

#include <stdint.h>

#include "tv_api.h"
#include "telvar.h"

/* Results of the entry points beyond the status codes of tv_errs.h. */
#define TVLSW_ERR_OPEN 500        /* the context could not be opened */
#define TVLSW_ERR_IP 501          /* the IP address text was refused */
#define TVLSW_ERR_PORT_COUNT 502  /* the switch's port count could not be read */
#define TVLSW_ERR_PORT 503        /* a port number outside 1 to Max_Ports */
#define TVLSW_BAD_TEXT (-1)       /* a port, state or type text that names nothing */

/* Room of one address text in the result array of tvlsw_discover. */
#define TVLSW_DISCOVER_SLOT 30

/* The port states as tvlsw_port_state copies them: the count, then the entries inline. */
typedef struct tvlsw_port_states {
    uint32_t count;
    tv_port_state_entry entries[TV_MAX_PORTS];
} tvlsw_port_states;

TV_BEGIN_DECLS

/* ---- Globals of the entry points ---- */
TV_EXPORT extern uint16_t g_tvlsw_udpport;      /* udpport of the most recent call */
/* Set by the host, never by the library: 1 makes tvlsw_links keep its context open after a
 * success and publish it in tmp_context (the host closes it with close_ip_context; a later
 * such call overwrites it without closing it). */
TV_EXPORT extern int32_t Main;
TV_EXPORT extern tv_context *tmp_context;
TV_EXPORT extern tv_version_info tmp_version;  /* from the last successful initiators call */
TV_EXPORT extern tv_sysconfig tmp_sysconfig;   /* from the last successful chassis status */

/* ---- The switch as a whole ---- */
/* 0 for a dotted address whose last octet is neither 0 nor 255; 501 otherwise (null, host
 * names, network and broadcast addresses). */
TV_EXPORT int32_t tvlsw_goodbadip(const char *ip);
/* The version record; reads no port count, and leaves g_logincmd at 0. */
TV_EXPORT int32_t tvlsw_get_version(uint32_t fcaddr, uint32_t udpport, const char *ip,
                                    tv_version_info *version);
/* Discovers the switches of a range: with a mask, the subnet of base_ip and mask (its network
 * address is never probed); without, `range` addresses from base_ip. The address of the i-th
 * switch that answered is copied, with its NUL, TVLSW_DISCOVER_SLOT * i bytes into results,
 * which must have room for one slot per address probed; nothing else is written. */
TV_EXPORT int32_t tvlsw_discover(uint32_t fcaddr, uint32_t udpport, const char *mask,
                                 const char *base_ip, const char *range, char *results);
/* Chassis status; on full success also the system information into tmp_sysconfig. */
TV_EXPORT int32_t tvlsw_chassis_status(uint32_t fcaddr, uint32_t udpport, const char *ip,
                                       tv_chassis_status *status);
/* The inter-switch links (links zeroed by the caller; release with tv_free_switch_links). */
TV_EXPORT int32_t tvlsw_links(uint32_t fcaddr, uint32_t udpport, const char *ip,
                              tv_switch_links *links);
/* The whole name server (release with tv_free_nameserverdata). */
TV_EXPORT int32_t tvlsw_nameserver(uint32_t fcaddr, uint32_t udpport, const char *ip,
                                   tv_nameserver_list *ns);
/* The loop initiators; on full success the switch's version record into tmp_version. */
TV_EXPORT int32_t tvlsw_switch_initiators(uint32_t fcaddr, uint32_t udpport, const char *ip,
                                          tv_initiators *initiators);
/* Clears the switch's test log. */
TV_EXPORT int32_t tvlsw_reset_log(uint32_t fcaddr, uint32_t udpport, const char *ip);

/* ---- Ports ---- */
/* Counters of a port ("all" asks the switch for port 0xFF). A bad port text: -1. */
TV_EXPORT int32_t tvlsw_port_counts(uint32_t fcaddr, uint32_t udpport, const char *ip,
                                    const char *port, tv_port_counters *counters);
/* What is attached to one port (release with tv_free_port_status); *port_count (may be null)
 * receives the port count. A nonzero alpa first builds the command layer's ALPA records. The
 * IP text is not checked. "all": 301, since the record holds one port. A bad port text prints
 * the usage text and ends the process with exit status 1. */
TV_EXPORT int32_t tvlsw_port_status(uint32_t fcaddr, uint32_t udpport, int32_t alpa,
                                    const char *ip, const char *port, tv_port_status *status,
                                    int32_t *port_count);
/* Sets the port (or every port) "on" or "off" when state is not null, then copies every port's
 * states into `states`. A state word outside the two, or a bad port text: -1. */
TV_EXPORT int32_t tvlsw_port_state(uint32_t fcaddr, uint32_t udpport, const char *state,
                                   const char *ip, const char *port, tvlsw_port_states *states);
/* Stops the online test; the port is checked but not sent. A bad port text prints the usage
 * text and ends the process with exit status 1. */
TV_EXPORT int32_t tvlsw_stop_test(uint32_t fcaddr, uint32_t udpport, const char *ip,
                                  const char *port);
/* Starts the online test on a port (or every port): transfer size 2000 and 10 passes unless
 * the texts say otherwise; reset_log nonzero clears the test log first; wait is not used. A bad
 * port text: -1. */
TV_EXPORT int32_t tvlsw_start_test(uint32_t fcaddr, uint32_t udpport, const char *xfer_size,
                                   const char *passes, uint32_t pattern, int32_t reset_log,
                                   const char *wait, const char *ip, const char *port);
/* How the online test stands; the port is checked but not sent. A bad port text: -1. */
TV_EXPORT int32_t tvlsw_test_status(uint32_t fcaddr, uint32_t udpport, const char *ip,
                                    const char *port, tv_test_status_info *status);

/* ---- Port zones ---- */
/* zone_type "hd", "ns", "bcst", "sl" or 1 to 4; zone_id below 16 (below 256 for the word
 * "ns"), or "all". Zeroes both records, then reads one zone into `zone` or every zone of the
 * type into `set` (release with tv_free_port_zone / tv_free_port_zone_set). saved nonzero
 * reads the saved configuration. A refused type or id: 301. */
TV_EXPORT int32_t tvlsw_get_zone(uint32_t fcaddr, uint32_t udpport, int32_t saved,
                                 const char *ip, const char *zone_type, const char *zone_id,
                                 tv_port_zone *zone, tv_port_zone_set *set);
/* Writes one zone of `count` member ports: `members` holds one NUL-terminated port number (1 to
 * Max_Ports) per 3-byte slot. save nonzero also saves; enable nonzero enables the zone. The
 * zone is built in `zone`, whose `ports` is null again on return. A refused type, id, count or
 * member: 301, and nothing is written to the switch. */
TV_EXPORT int32_t tvlsw_set_zone(uint32_t fcaddr, uint32_t udpport, int32_t save, int32_t enable,
                                 const char *ip, const char *zone_type, const char *zone_id,
                                 const char *members, int32_t count, tv_port_zone *zone);
/* Sets the type of a port ("f", "fl", "t", "sl", "tl") when type is not null, then reads every
 * port's type (release with tv_free_port_types). The IP text is not checked. A type word
 * outside the list, or a bad port text: -1; a number out of range: 503 without a message. */
TV_EXPORT int32_t tvlsw_port_type(uint32_t fcaddr, uint32_t udpport, const char *type,
                                  const char *ip, const char *port, tv_port_types *types);

TV_END_DECLS

#endif
