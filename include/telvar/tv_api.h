/* libtelvar: the exported operations of the protocol module.
 *
 * Conventions of the whole interface:
 *  - plain C functions over plain records; nothing throws, nothing exits the process;
 *  - an operation returns a status code (tv_errs.h) or a pointer/count, and leaves the status
 *    code in tv_api_errno; 0 means success;
 *  - records are supplied by the caller; arrays that an operation allocates inside a record are
 *    released by the matching tv_free_... operation;
 *  - the library is single-threaded and keeps its state in process-wide variables: callers must
 *    not call into it from two threads at once;
 *  - ports are counted from 0 in every record and on the wire.
 */
#ifndef TV_API_H
#define TV_API_H

#include <stdint.h>
#include <stdio.h>
#include <netinet/in.h>

#include "tv_export.h"
#include "tv_errs.h"
#include "utilmsg.h"
#include "version.h"
#include "utconfig.h"
#include "traps.h"
#include "namesrvr.h"
#include "onlntest.h"

/* The handle on one switch. Allocated by tv_opencontext, released by tv_close. */
typedef struct tv_context {
    const char *host_text;           /* switch address, dotted decimal */
    int32_t sock;                    /* the UDP socket */
    uint32_t dest_fc_addr;           /* destination FC address of every request (0xFFFFFD) */
    struct sockaddr_in local_addr;   /* local address and the port actually bound */
    struct sockaddr_in remote_addr;  /* the switch: its address, UDP port 5000 */
    int32_t login_required;          /* nonzero: the switch expects a login exchange */
    char user_id[8];                 /* not terminated when 8 characters long */
    char password[8];
    uint32_t last_activity;          /* time (s) of the last good exchange or login; 0 after open */
} tv_context;

TV_BEGIN_DECLS

/* ---- Process-wide state ---- */
TV_EXPORT extern int32_t tv_api_errno;        /* status code of the most recent operation */
TV_EXPORT extern uint32_t msg_seq_num;        /* last sequence number handed out */
TV_EXPORT extern uint32_t previous_dest_addr; /* saved by tv_set_dest_addr */
TV_EXPORT extern int32_t g_ip_timeout;        /* ms of one wait for a response (70) */
TV_EXPORT extern int32_t g_timeout;           /* exchange budget in normal mode (500) */
TV_EXPORT extern int32_t Discover;            /* discovery mode: short waits, small budget (1) */
TV_EXPORT extern int32_t Long_Poll;           /* every wait lasts up to 2 s (0) */
/* Strict answer mode (0: off, as every operation is defined; our programs turn it on). An
 * exchange then takes a datagram as the answer only when it comes from the address and port
 * the request went to, its checksum is right, its command is the request's, its length field
 * matches what arrived, and a successful answer is at least as long as the operation expects;
 * anything else is read past like a stale answer and counted. The exchange also ends after one
 * and a half times its budget in wall-clock milliseconds, however many datagrams arrive. */
TV_EXPORT extern int32_t g_strict_answers;
TV_EXPORT extern char gVersion[40];           /* filled by tv_api_version */

/* ---- Message framing and status codes ---- */
/* Writes the 16-byte header at the start of buf: version 1, format 4, the context's destination,
 * the command, total_len - 16 and the next sequence number. */
TV_EXPORT void tv_msg_hdr(tv_context *ctx, void *buf, int32_t command, int32_t total_len);
TV_EXPORT uint32_t tv_set_dest_addr(tv_context *ctx, uint32_t fc_addr);
TV_EXPORT uint32_t tv_get_dest_addr(tv_context *ctx);
TV_EXPORT uint32_t tv_restore_dest_addr(tv_context *ctx);
TV_EXPORT uint32_t tv_get_seq_num(const void *msg);
TV_EXPORT uint32_t tv_calc_chksum(const void *bytes, int32_t count);
TV_EXPORT uint32_t tv_set_chksum(void *msg, int32_t total_len);
TV_EXPORT int32_t tv_verify_chksum(const void *msg, int32_t total_len);
/* Maps the status byte of a response header to a status code and stores it in tv_api_errno. */
TV_EXPORT int32_t check_flags(void *resp);
/* Byte-order hook on the 16 header bytes; fields are always serialised big-endian explicitly,
 * so it has nothing to do. */
TV_EXPORT void ConvertByteOrder(void *buf, int32_t len);
TV_EXPORT void log_error(const char *format, ...) TV_PRINTF(1, 2);
TV_EXPORT void log_info(const char *format, ...) TV_PRINTF(1, 2);
/* perror-like: "text: system error text" on standard error, then "errno=%d\n" to log_error. */
TV_EXPORT void err(const char *text);
TV_EXPORT void showbytes(const void *bytes, int32_t count);

/* ---- Context and UDP transport ---- */
TV_EXPORT int32_t tv_api_open(FILE *log_stream);
TV_EXPORT int32_t tv_api_close(void);
TV_EXPORT const char *tv_api_version(void);
/* Opens a context on a dotted IPv4 address or host name, bound to local_port (0: any). */
TV_EXPORT tv_context *tv_opencontext(const char *host, int32_t local_port);
TV_EXPORT tv_context *tv_open(const char *host);
TV_EXPORT int32_t tv_close(tv_context *ctx);
TV_EXPORT uint32_t tv_get_local_ipaddr(const uint32_t *remote_addr);
TV_EXPORT int32_t tv_get_ip_timeout(void);
TV_EXPORT int32_t tv_get_timeout(void);
TV_EXPORT int32_t tv_set_ip_timeout(int32_t value);
TV_EXPORT int32_t tv_set_timeout(int32_t value);
/* Turns strict answer mode on (nonzero) or off; returns the previous setting. */
TV_EXPORT int32_t tv_set_strict_answers(int32_t on);
TV_EXPORT int32_t tv_get_strict_answers(void);
/* Answers carrying the current request's sequence number that strict mode refused (sender,
 * length, command, checksum or an echoed field wrong) since the process started. */
TV_EXPORT uint32_t tv_get_discarded_answers(void);
/* Datagrams that strict mode read past while listening (tv_listen, tv_trap_listen, tv_message)
 * since the process started: from another sender, or not a whole message of the kind awaited. */
TV_EXPORT uint32_t tv_get_dropped_unsolicited(void);
TV_EXPORT int32_t tv_send(tv_context *ctx, const void *msg, int32_t len);
TV_EXPORT int32_t tv_recv(tv_context *ctx, void *buf, int32_t capacity);
TV_EXPORT int32_t poll_sock(int32_t sock);
TV_EXPORT void tv_delay(int32_t microseconds);
TV_EXPORT void CreateRunFile(void);

/* ---- Exchange, listening and raw messages ---- */
/* Sends req (a message built by tv_msg_hdr, req_len bytes), waits for the response with the
 * same sequence number and resends within the time budget. Returns the response length, or 0
 * (-1 when the last send, wait or read failed) with tv_api_errno saying why. */
TV_EXPORT int32_t tv_exchange(tv_context *ctx, void *req, int32_t req_len, void *resp,
                              int32_t resp_capacity, int32_t unused);
/* Waits up to timeout_ms for one checksummed datagram; capacity at most 512. */
TV_EXPORT int32_t tv_listen(tv_context *ctx, void *buf, int32_t capacity, int32_t timeout_ms);
/* Sends the message written in a text file (one hexadecimal word per line, at most 127 words)
 * and listens 500 ms for the answer into resp (512 bytes). length_flag "+L" and checksum_flag
 * "+C" deliberately spoil the length field and the checksum. */
TV_EXPORT int32_t tv_message(tv_context *ctx, const char *length_flag, const char *checksum_flag,
                             const char *file_name, void *resp);

/* ---- Switch identity and chassis status ---- */
TV_EXPORT int32_t tv_get_version(tv_context *ctx, tv_version_info *version);
/* Model code 0 to 3, or 255 for any larger value. */
TV_EXPORT int32_t tv_get_switch_model(tv_context *ctx, uint32_t *model);
TV_EXPORT int32_t tv_get_chassis_status(tv_context *ctx, tv_chassis_status *status);
TV_EXPORT int32_t tv_get_snmp_sysconfig(tv_context *ctx, tv_sysconfig *cfg);
/* Firmware revision normalised for comparison. */
TV_EXPORT int32_t calc_revision(int32_t revision);

/* ---- Switch discovery ---- */
/* Probes count addresses from base (or, with a list, the list) and returns the addresses that
 * answered as a null-terminated array of texts, or null with tv_api_errno set. */
TV_EXPORT char **tv_discover(const uint32_t *list, const char *base, int32_t count);
TV_EXPORT void tv_free_discovery(char **result, uint32_t *list);
/* Called as a parallel discovery goes: probes finished so far, and all of them. */
typedef void (*tv_discover_progress)(uint32_t done, uint32_t total, void *arg);
/* The same addresses, in the same order, as tv_discover over the same arguments, found with up
 * to in_flight probes outstanding at once (each tried 3 times, 60 ms apart). progress may be
 * null. The result is released with tv_free_discovery; null with tv_api_errno set on failure
 * (301 for in_flight below 1 or a negative count). Leaves Discover as it is. */
TV_EXPORT char **tv_discover_parallel(const uint32_t *list, const char *base, int32_t count,
                                      int32_t in_flight, tv_discover_progress progress, void *arg);
/* The addresses of the range that base and mask give (network order), ended by 0; null when
 * the mask has no zero bit or the list cannot be allocated. */
TV_EXPORT uint32_t *tv_ip_values_from_mask(const char *base, const char *mask);

/* ---- Login and user accounts ---- */
TV_EXPORT int32_t tv_login(tv_context *ctx, const char *user_id, const char *password);
TV_EXPORT int32_t tv_logout(tv_context *ctx);
/* 1 when more than 9 hours passed since the last good exchange or login, else 0. */
TV_EXPORT int32_t tv_logintimedout(tv_context *ctx);
TV_EXPORT int32_t tv_set_curr_user_pw(tv_context *ctx, const char *old_password,
                                      const char *new_password);
TV_EXPORT int32_t tv_user_add(tv_context *ctx, const char *user_id, const char *password,
                              uint8_t admin_level);
TV_EXPORT int32_t tv_user_delete(tv_context *ctx, const char *user_id);

/* ---- Port types and port configuration ---- */
/* Sets the port's loop mode, then its type (TV_PORT_TYPE_...); follow_up sends the follow-up
 * message after the type. */
TV_EXPORT int32_t tv_set_port_type(tv_context *ctx, uint32_t port, int32_t type,
                                   int32_t follow_up);
TV_EXPORT int32_t tv_get_port_types(tv_context *ctx, tv_port_types *types);
/* Number of ports of the switch, or -1 when it cannot be read. */
TV_EXPORT int32_t tv_get_num_of_ports(tv_context *ctx);
TV_EXPORT void tv_free_port_types(tv_port_types *types);
TV_EXPORT int32_t tv_set_port_al_disabled(tv_context *ctx, uint32_t port, int32_t disabled);
TV_EXPORT int32_t tv_get_port_al_disabled(tv_context *ctx, tv_port_al_disabled *rec);
TV_EXPORT void tv_free_port_al_disabled(tv_port_al_disabled *rec);
TV_EXPORT int32_t tv_set_port_mfs_mode(tv_context *ctx, uint32_t port, uint32_t mode);
TV_EXPORT int32_t tv_get_port_mfs_mode(tv_context *ctx, tv_port_mfs_modes *rec);
TV_EXPORT void tv_free_port_mfs_mode(tv_port_mfs_modes *rec);
/* rec may be null: then the call only refreshes the shared port-state response. */
TV_EXPORT int32_t tv_get_port_state(tv_context *ctx, tv_port_state *rec);
TV_EXPORT void tv_free_port_state(tv_port_state *rec);
/* port from 0, or TV_ALL_PORTS; state is a TV_PORT_STATE_... code. */
TV_EXPORT int32_t tv_set_port_state(tv_context *ctx, int32_t port, uint32_t state);

/* ---- Port zoning ---- */
/* Sends a bare configuration sub-command (24 bytes) and returns the exchange's status. */
TV_EXPORT int32_t tv_simple_config_cmd(tv_context *ctx, uint32_t subcmd);
/* The sub-command of a key (zone type, + 0x200 write, + 0x400 saved variant, + 0x600 save;
 * saved nonzero adds 0x400), or 0 with status 22 for a key that has none. */
TV_EXPORT uint32_t tv_zone_type_to_subcmd(uint32_t key, int32_t saved);
/* Exchanges the 160-byte block of 16 bitmap zones that starts at zone `start`. */
TV_EXPORT int32_t tv_port_zone_cmd(tv_context *ctx, uint32_t subcmd, uint32_t start);
/* Zone z (0-15) of the last block answer, into `zone` or (null) a new record; null on failure. */
TV_EXPORT tv_port_zone *tv_extract_zone(tv_port_zone *zone, uint32_t z);
/* Reads the zone the record's type and id name (saved nonzero: the saved set). Zone ids beyond
 * the type's table are refused with 301 before anything is sent. */
TV_EXPORT int32_t tv_get_port_zone(tv_context *ctx, tv_port_zone *zone, int32_t saved);
/* Reads every zone of the set's type; on failure the set is left empty. */
TV_EXPORT int32_t tv_get_port_zone_set(tv_context *ctx, tv_port_zone_set *set, int32_t saved);
/* Writes one zone (SL zones: adds its ports to the zone); save nonzero then saves. Zone ids
 * beyond the table and ports beyond the bitmap's room are refused with 301 before anything is
 * sent; ports beyond what the switch's bitmap covers, before the write. */
TV_EXPORT int32_t tv_set_port_zone(tv_context *ctx, tv_port_zone *zone, int32_t save);
/* Sets (mask 0xFFFF) or clears (mask 0) the enabled bit of every zone of a type. SL: 22. */
TV_EXPORT int32_t tv_change_zoning(tv_context *ctx, uint32_t type, int32_t save, uint32_t mask);
TV_EXPORT int32_t tv_enable_zoning(tv_context *ctx, uint32_t type, int32_t save);
TV_EXPORT int32_t tv_disable_zoning(tv_context *ctx, uint32_t type, int32_t save);
TV_EXPORT int32_t tv_free_port_zone(tv_port_zone *zone, int32_t free_record);
TV_EXPORT int32_t tv_free_port_zone_set(tv_port_zone_set *set, int32_t free_record);
/* SL zones: one zone id per port. The read answer stays in a module buffer that
 * tv_extract_sl_zone and tv_get_zone_list read. */
TV_EXPORT int32_t tv_get_sl_zone_cmd(tv_context *ctx, uint32_t subcmd);
TV_EXPORT int32_t tv_set_sl_zone_cmd(tv_context *ctx, uint32_t subcmd);
TV_EXPORT int32_t tv_get_sl_zone(tv_context *ctx, tv_port_zone *zone, int32_t saved);
TV_EXPORT int32_t tv_get_sl_zone_set(tv_context *ctx, tv_port_zone_set *set, int32_t saved);
TV_EXPORT int32_t tv_set_sl_zone(tv_context *ctx, tv_port_zone *zone, int32_t save);
TV_EXPORT tv_port_zone *tv_extract_sl_zone(tv_port_zone *zone, uint32_t id);
/* The distinct zone ids of the last SL read, in order of first appearance, into `list` (room
 * for one id per port); returns how many. */
TV_EXPORT int32_t tv_get_zone_list(uint16_t *list);
TV_EXPORT int32_t tv_get_sl_port_zone(tv_context *ctx, tv_sl_port_zones *ids);

/* ---- WWN zoning ---- */
/* Reads the page of entries from index `first`; entries beyond the table keep their values. */
TV_EXPORT int32_t tv_get_wwn_zone(tv_context *ctx, int32_t first, tv_wwn_zone_page *page);
/* The 40-byte table entry of a WWN (valid until the next page read), or null. */
TV_EXPORT uint8_t *tv_find_wwn_zone(tv_context *ctx, const uint8_t *wwn);
/* Makes the WWN a member of zone 0-255 (inclusive nonzero: besides its other zones); `name` is
 * not sent. */
TV_EXPORT int32_t tv_set_wwn_zone(tv_context *ctx, uint32_t zone, const uint8_t *wwn,
                                  const char *name, int32_t inclusive);
/* Removes the WWN from one zone; 108 when the table has no entry for it. */
TV_EXPORT int32_t tv_rem_wwn_zone(tv_context *ctx, uint32_t zone, const uint8_t *wwn,
                                  const char *name);
/* Mode 0 reset to the saved table, 1 to the default, 2 active and saved to the default. */
TV_EXPORT int32_t tv_reset_wwn_zoning(tv_context *ctx, uint8_t mode);
TV_EXPORT int32_t tv_save_wwn_zoning(tv_context *ctx);
/* The name-server zoning type: 0 by port, 1 by WWN. */
TV_EXPORT int32_t tv_get_type_ns_zoning(tv_context *ctx, uint32_t *type);
TV_EXPORT int32_t tv_set_type_ns_zoning(tv_context *ctx, uint32_t type);

/* ---- Topology, links and routing ---- */
/* Reads the topology table of the switch (the page the switch sends next) into the module's
 * topology response, where tv_get_switch_links and the port status read it. */
TV_EXPORT int32_t tv_get_topology(tv_context *ctx, uint8_t port);
/* Reads the arbitrated-loop status of a port into the module's loop-status response. */
TV_EXPORT int32_t tv_get_al_port_status(tv_context *ctx, uint32_t port);
/* A node-name query of the name server for value; returns the exchange's result (the
 * response length, 0 or -1 on failure), not the status code. */
TV_EXPORT int32_t tv_get_node_name(tv_context *ctx, uint32_t value);
/* The routing table of the switch, as seen from port; the record is written only on success. */
TV_EXPORT int32_t tv_get_port_steering(tv_context *ctx, uint32_t port, tv_port_steering *steering);
/* The inter-switch links of the switch, each with the WWN of the switch at its far end, read
 * through the same context by addressing that switch. links must be zeroed. Afterwards the
 * context addresses the local end of the last link visited, not necessarily its destination
 * before the call. */
TV_EXPORT int32_t tv_get_switch_links(tv_context *ctx, tv_switch_links *links);
TV_EXPORT void tv_free_switch_links(tv_switch_links *links);

/* ---- Name server and initiators ---- */
/* One name-server object: the one at port_id (next 0) or the first after it (next nonzero).
 * *result receives a record for the caller to free(), or null when there is no such object
 * (status 0). */
TV_EXPORT int32_t tv_snsgetall(tv_context *ctx, uint32_t port_id, tv_nameserver_entry **result,
                               int32_t next);
/* Walks the whole name server in address order into list; a failure leaves it empty. */
TV_EXPORT int32_t tv_get_nameserverdata(tv_context *ctx, tv_nameserver_list *list);
TV_EXPORT void tv_free_nameserverdata(tv_nameserver_list *list);
/* The object at port_id; 301 and a zeroed record when there is none. */
TV_EXPORT int32_t tv_get_nameserverentry(tv_context *ctx, uint32_t port_id,
                                         tv_nameserver_entry *entry);
TV_EXPORT int32_t tv_get_initiators(tv_context *ctx, tv_initiators *initiators);
/* The port WWN of a port (its low byte) from the node WWN, by the node WWN's NAA: 1 and 5 are
 * known; any other gives eight zero bytes and 301. */
TV_EXPORT int32_t tv_calc_portwwn(uint8_t *port_wwn, const uint8_t *node_wwn, uint32_t port);

/* ---- Port status aggregation ---- */
/* What is attached to a port (from 0): the linked switch of a T_Port, the device of an F_Port,
 * the devices of a loop. The record is zeroed first; a missing name-server object leaves WWNs
 * zero and is no failure. A port beyond the switch's count: 301. A T_Port query addresses the
 * linked switch through the context and restores its destination afterwards. */
TV_EXPORT int32_t tv_get_port_status(tv_context *ctx, uint32_t port, tv_port_status *status);
/* Releases the loop detail's arrays (every type but F_Port and T_Port) and sets them to null. */
TV_EXPORT void tv_free_port_status(tv_port_status *status);

/* ---- Port diagnostics ---- */
/* Counters of a port (from 0); words 1 to 38 are written on success, word 0 never. */
TV_EXPORT int32_t tv_get_port_counters(tv_context *ctx, uint8_t port, tv_port_counters *counters);
/* Clears the switch's test log. */
TV_EXPORT int32_t tv_reset_log(tv_context *ctx);
/* Starts the online test on a port (from 0; -1, sent as 0xFF, for every port). */
TV_EXPORT int32_t tv_start_test(tv_context *ctx, uint32_t port, uint32_t transfer_size,
                                uint32_t passes, uint32_t pattern);
TV_EXPORT int32_t tv_stop_test(tv_context *ctx);
/* How the test stands; at most TV_TEST_PORTS port entries are written. */
TV_EXPORT int32_t tv_test_status(tv_context *ctx, tv_test_status_info *status);

/* ---- Chassis configuration ---- */
/* Sends the reset message once; no answer is awaited. 0, or 105 when the send failed. */
TV_EXPORT int32_t tv_switch_reset(tv_context *ctx);
/* which 0: the saved timeout values, 1: the active ones (any other value sends sub-command 0).
 * The record is filled only on success. */
TV_EXPORT int32_t tv_get_switch_tovs(tv_context *ctx, int32_t which, tv_switch_tovs *tovs);
/* Read-modify-write of the active parameter block: only the four timeouts change; nothing is
 * written when the read fails. */
TV_EXPORT int32_t tv_set_switch_tovs(tv_context *ctx, const tv_switch_tovs *tovs);
/* Makes the active configuration the saved one. */
TV_EXPORT int32_t tv_save_active(tv_context *ctx);
/* Chassis mode 1 online, 2 offline, 3 test; mode may be null (the answer stays for the set). */
TV_EXPORT int32_t tv_get_chassis_mode(tv_context *ctx, uint32_t *mode);
/* Reads the mode first and sends the answer back with the new mode; nothing is sent when the
 * read fails. */
TV_EXPORT int32_t tv_set_chassis_mode(tv_context *ctx, uint32_t mode);
/* Chassis type 1 a stage chassis, anything else a hub; type may be null. */
TV_EXPORT int32_t tv_get_chassis_type(tv_context *ctx, uint32_t *type);
TV_EXPORT int32_t tv_set_chassis_type(tv_context *ctx, uint32_t type);
/* Stage type byte of the saved (which 0) or active (1) parameter block; *stage is 0 first.
 * Any other which: 301, nothing sent. */
TV_EXPORT int32_t tv_get_stagetype(tv_context *ctx, int32_t which, uint8_t *stage);
/* 1 when the switch is in SL-zoning mode: always for firmware up to 0x30400, else as its
 * chassis-type answer says. *flag is 0 first. */
TV_EXPORT int32_t tv_get_slzoningmode_flag(tv_context *ctx, uint8_t *flag);

/* ---- Network and parameter configuration, defaults file ---- */
TV_EXPORT int32_t tv_get_net_config(tv_context *ctx, tv_net_config *net);
TV_EXPORT int32_t tv_set_net_config(tv_context *ctx, const tv_net_config *net);
/* Read the network settings into the library's staging message, and send it back as it was
 * read and edited since. */
TV_EXPORT int32_t tv_get_netconfig(tv_context *ctx);
TV_EXPORT int32_t tv_set_netconfig(tv_context *ctx);
/* The same through a caller's 44-byte message image; they return the exchange's result (the
 * answer's length, positive on success), not the status code. */
TV_EXPORT int32_t tv_get_netconfig_data(tv_context *ctx, void *image);
TV_EXPORT int32_t tv_set_netconfig_data(tv_context *ctx, void *image);
/* Reads the saved (flags bit value 2) or active parameter set into the staging message; with
 * bit value 1, copies the port count, the timeouts and, for each port, setting A and the MFS
 * mode into the caller's 68-byte image (other bytes of the image are left alone). */
TV_EXPORT int32_t tv_get_port_config(tv_context *ctx, int32_t flags, void *image);
/* Reads into a caller's 116-byte message (null: the staging message); `which` is not read.
 * Returns the exchange's result. */
TV_EXPORT int32_t tv_get_port_config_data(tv_context *ctx, int32_t which, int32_t flags,
                                          void *message);
/* Sends the staging message (as read and edited since) as a write of the parameter block. */
TV_EXPORT int32_t tv_set_config(tv_context *ctx);
/* The same for a caller's 116-byte message (null: the staging message); returns the exchange's
 * result. */
TV_EXPORT int32_t tv_set_config_data(tv_context *ctx, void *message);
/* Applies an open defaults file: reads the saved parameters and the network settings, edits
 * them as the file says, writes and saves the parameters and writes the network settings when
 * they changed. A failed write logs "Set config Error", "Save active config Error" or "Set net
 * config Error". Returns the first failure, of the parse or of a write, else 0; what the file
 * changed before a failure of the parse is still written. */
TV_EXPORT int32_t upload_settings(tv_context *ctx, FILE *file);
/* Parses a defaults file into the staging messages; *changed gets bit value 1 when a network
 * setting changed, 2 when a parameter did. 0, or the C library's error number when a firmware
 * file named by the file cannot be opened. */
TV_EXPORT int32_t parse_defaults(tv_context *ctx, FILE *file, uint32_t *changed);

/* ---- Firmware and file transfer ---- */
/* Loads a firmware image from an open file of `length` bytes, in blocks of 256. */
TV_EXPORT int32_t tv_codeload(tv_context *ctx, FILE *file, uint32_t length);
/* Downloads an open file into the switch store `target`: at most two blocks (512 bytes). */
TV_EXPORT int32_t tv_download(tv_context *ctx, uint8_t target, FILE *file, uint32_t length);
/* Downloads `length` bytes from memory into the store the two selectors name (their low bytes
 * are sent). */
TV_EXPORT int32_t tv_download2(tv_context *ctx, int32_t target, int32_t selector2,
                               const void *data, uint32_t length);
/* Uploads the store the two selectors name into a buffer allocated with malloc (the caller
 * frees it), *length its size. A switch without that store, a failed exchange or a block that
 * does not fit: 107, and no buffer. */
TV_EXPORT int32_t tv_upload(tv_context *ctx, int32_t target, int32_t selector2,
                            uint8_t **buffer, uint32_t *length);

/* ---- Trap configuration and trap events ---- */
/* Reads the 300-byte trap configuration block into block: the current one (which 0) or the
 * saved one. */
TV_EXPORT int32_t tv_download_trap_config(tv_context *ctx, int32_t which, void *block);
/* Writes a whole 300-byte block as the current configuration. */
TV_EXPORT int32_t tv_upload_trap_config(tv_context *ctx, const void *block);
/* Makes the current trap configuration the saved one. */
TV_EXPORT int32_t tv_save_trap_config(tv_context *ctx);
/* Fills list with the 32 trap codes' entries (allocated; release with tv_free_trap_configs). */
TV_EXPORT int32_t tv_get_all_trap_configs(tv_context *ctx, int32_t which,
                                          tv_trap_config_list *list);
TV_EXPORT void tv_free_trap_configs(tv_trap_config_list *list);
/* One trap code's entry; 301 for a code outside 0-31. */
TV_EXPORT int32_t tv_get_trap_config(tv_context *ctx, int32_t which, int32_t code,
                                     tv_trap_config *config);
/* Read-modify-write of one code's entry (code 0-31, else 301 and nothing sent); save nonzero
 * also saves. */
TV_EXPORT int32_t tv_set_trap_config(tv_context *ctx, int32_t save, const tv_trap_config *config);
/* Trapping on/off and the sample interval of the current configuration (which is not used). */
TV_EXPORT int32_t tv_get_trapping_status(tv_context *ctx, int32_t which,
                                         tv_trapping_status *status);
TV_EXPORT int32_t tv_set_trapping_status(tv_context *ctx, int32_t save,
                                         const tv_trapping_status *status);
/* Adds (remove 0) or removes a listener: IPv4 address in network order, UDP port. 200 when the
 * switch refuses. */
TV_EXPORT int32_t tv_set_trap_listener(tv_context *ctx, uint32_t address, uint16_t port,
                                       int32_t remove);
/* Opens a listening context on a system-chosen port and registers it with the switch; null on
 * failure with tv_api_errno set. */
TV_EXPORT tv_trap_listener *tv_trap_createlistener(tv_context *ctx);
/* Waits up to timeout_ms for one trap message (106 when none came; event untouched then). */
TV_EXPORT int32_t tv_trap_listen(tv_trap_listener *listener, int32_t timeout_ms,
                                 tv_trap_event *event);
/* Unregisters the listener (a failure is not reported), closes its context and frees it. */
TV_EXPORT int32_t tv_trap_release_listener(tv_context *ctx, tv_trap_listener *listener);
/* Reads the listener table and sends a test alert (code 99) to each of its (at most 12)
 * listeners; returns the status of the table's read. */
TV_EXPORT int32_t tv_send_trap_alert(tv_context *ctx);
/* Asks the switch to move a trap counter, then sends the test alert; returns the alert's
 * status. */
TV_EXPORT int32_t tv_set_trap_counter(tv_context *ctx, const tv_trap_counter *counter);

/* ---- Management-variable get/set ---- */
/* Sends a text request (a management variable, or a variable and its new value; at most 1471
 * characters) and reads the switch's answer. The get fills *value with a text allocated by the
 * library (release it with tv_smlfree) and *code with the switch's result code (0: carried
 * out); the set fills *code only. A result code is not a failure: the call returns 0. */
TV_EXPORT int32_t tv_smlget(tv_context *ctx, const char *request, char **value, int32_t *code);
TV_EXPORT int32_t tv_smlset(tv_context *ctx, const char *request, int32_t *code);
/* Frees the text of tv_smlget and sets the pointer to null. */
TV_EXPORT void tv_smlfree(char **value);

TV_END_DECLS

#endif
