/* Configuration records: per-port types, loop modes, MFS modes and states; port and WWN zones.
 *
 * Ports are counted from 0; entry i of every array is port i. The operations that fill these
 * records allocate the array; the matching tv_free_... operation releases it and sets the
 * pointer to null, so freeing twice is harmless. */
#ifndef TV_UTCONFIG_H
#define TV_UTCONFIG_H

#include <stdint.h>

/* Most ports a switch can report: the room of the port-types and port-state messages. Counts
 * above it are refused (status 200) rather than read past the message. */
#define TV_MAX_PORTS 24

/* Port type codes. */
#define TV_PORT_TYPE_INVALID 0
#define TV_PORT_TYPE_F 1
#define TV_PORT_TYPE_FL 2
#define TV_PORT_TYPE_T 3
#define TV_PORT_TYPE_SL 4
#define TV_PORT_TYPE_TL 5

/* Port state codes (administrative and operational). */
#define TV_PORT_STATE_SL 0
#define TV_PORT_STATE_ON 1
#define TV_PORT_STATE_OFF 2
#define TV_PORT_STATE_TEST 3
#define TV_PORT_STATE_FAIL 4
#define TV_PORT_STATE_INVALID 5

/* All ports, where an operation allows it. */
#define TV_ALL_PORTS (-1)

typedef struct tv_port_types {
    uint32_t count;   /* number of ports N */
    uint8_t *types;   /* N port type codes */
} tv_port_types;

typedef struct tv_port_al_disabled {
    int32_t reserved; /* not written */
    uint32_t count;
    uint8_t *flags;   /* nonzero: arbitrated loop disabled */
} tv_port_al_disabled;

typedef struct tv_port_mfs_modes {
    uint32_t count;
    uint8_t *modes;   /* MFS mode code of each port */
} tv_port_mfs_modes;

typedef struct tv_port_state_entry {
    uint32_t operational;
    uint32_t admin;
} tv_port_state_entry;

typedef struct tv_port_state {
    uint32_t count;
    tv_port_state_entry *entries;
} tv_port_state;

/* ---- Port zoning and WWN zoning ---- */

/* Zone type codes: hard, name-server, broadcast and SL zones. */
#define TV_ZONE_HD 1
#define TV_ZONE_NS 2
#define TV_ZONE_BCST 3
#define TV_ZONE_SL 4

/* One zone. Records that a zone set holds are allocated by the library; tv_free_port_zone
 * releases them. Reading into a caller's record allocates a new `ports` array: release the
 * previous one first. */
typedef struct tv_port_zone {
    uint32_t type;     /* zone type code */
    uint32_t id;       /* zone id: 0-15 hard and broadcast, 0-255 name-server, 16 bits SL */
    uint32_t enabled;  /* 1 enabled, 0 disabled (SL zones read as 1) */
    uint32_t count;    /* member ports */
    uint32_t *ports;   /* member port numbers from 0, ascending */
} tv_port_zone;

typedef struct tv_port_zone_set {
    uint32_t type;          /* zone type code, set by the caller */
    uint32_t count;         /* zones */
    tv_port_zone **zones;   /* count records; index = position in the set */
} tv_port_zone_set;

/* The SL zone id of every port: word 0 the port count N, then one id per port (the layout of
 * an array of 1 + N words, with room for every port a switch can report). */
typedef struct tv_sl_port_zones {
    uint32_t count;
    uint32_t ids[TV_MAX_PORTS];
} tv_sl_port_zones;

/* A page of the WWN zone table: up to 8 entries from index `start`. */
#define TV_WWN_PAGE_ENTRIES 8
typedef struct tv_wwn_zone_page {
    uint32_t start;                              /* index of the page's first entry */
    int32_t total;                               /* entries on the switch */
    uint8_t wwn[TV_WWN_PAGE_ENTRIES][8];         /* WWN of entry i */
    uint32_t zone_bits[TV_WWN_PAGE_ENTRIES][8];  /* bit b of word w: member of zone 32w + b */
} tv_wwn_zone_page;
/* Fabric timeout values of the switch parameter block (tv_get_switch_tovs). */
typedef struct tv_switch_tovs {
    uint16_t mfstov;
    int32_t rttov;
    int32_t ratov;
    int32_t edtov;
} tv_switch_tovs;

/* Network settings of a switch. Each field is the message's 32-bit word as a number, most
 * significant byte first: the address 10.0.0.5 is 0x0A000005. */
typedef struct tv_net_config {
    uint32_t ip_addr;
    uint32_t ip_mask;
    uint32_t ip_broadcast;
    uint32_t ip_gateway;
    uint32_t ip_auto;      /* 0 fixed, 1 BOOTP, 2 RARP */
    uint32_t arp_timeout;
} tv_net_config;

/* Room of the switch parameter image (message bytes 20-87) and of a whole configuration-
 * parameter message; of a network-settings message. */
#define TV_PARAM_IMAGE_LEN 68
#define TV_CONFIG_PARAM_MSG_LEN 116
#define TV_NET_CONFIG_MSG_LEN 44

#endif
