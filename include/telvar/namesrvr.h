/* Records of the fabric view: the inter-switch links of a switch, its routing table, the
 * objects of the fabric's name server, the switch's table of loop initiators and what is
 * attached to each of its ports.
 *
 * Fibre Channel addresses are 24-bit values in 32-bit words; ports are counted from 0. Arrays
 * that an operation allocates inside a record are released by the matching tv_free_...
 * operation, which sets the pointer to null so that freeing twice is harmless. */
#ifndef TV_NAMESRVR_H
#define TV_NAMESRVR_H

#include <stdint.h>

/* Room of the per-chassis routing tables (chassis numbers 0 to 63). */
#define TV_MAX_CHASSIS 64
/* Most initiators a switch reports: the room of its answer. */
#define TV_MAX_INITIATORS 16

/* One inter-switch link of a switch (28 bytes). */
typedef struct tv_switch_link {
    uint32_t port;             /* local port */
    uint32_t local_fc_addr;    /* FC address of the local end */
    uint8_t remote_chassis;    /* chassis number the switch reports for the remote end */
    uint8_t info1;             /* passed through uninterpreted */
    uint8_t info2;
    uint32_t remote_port;      /* port of the remote end: bits 8 to 13 of remote_fc_addr */
    uint32_t remote_fc_addr;   /* FC address of the remote end */
    uint8_t remote_wwn[8];     /* WWN of the remote switch; zero when it could not be read */
} tv_switch_link;

/* The links of a switch. Supplied zeroed by the caller, filled by tv_get_switch_links and
 * released by tv_free_switch_links. */
typedef struct tv_switch_links {
    uint8_t count;             /* valid entries of links */
    uint8_t info1;             /* passed through uninterpreted */
    uint8_t info2;
    uint32_t fc_addr;          /* FC address of this switch */
    uint8_t wwn[8];            /* WWN of this switch */
    tv_switch_link *links;     /* room for one entry per port of the switch */
} tv_switch_links;

/* The routing table of a switch, indexed by destination chassis number. */
typedef struct tv_port_steering {
    uint32_t fc_addr;                      /* FC address of this switch */
    uint8_t info1;                         /* passed through uninterpreted */
    uint8_t info2;
    uint8_t table0[TV_MAX_CHASSIS];        /* passed through uninterpreted */
    uint8_t route_valid[TV_MAX_CHASSIS];   /* nonzero: a route to that chassis exists */
    uint8_t route_port[TV_MAX_CHASSIS];    /* outgoing port towards that chassis */
} tv_port_steering;

/* One object of the name server (584 bytes): a device port logged in to the fabric. */
typedef struct tv_nameserver_entry {
    uint8_t port;              /* switch port the device is attached to */
    uint32_t port_id;          /* 24-bit FC address of the device port */
    uint8_t port_type;         /* port type code of the name server (0x01 N, 0x02 NL, ...) */
    uint8_t port_wwn[8];
    uint8_t node_wwn[8];
    char port_symname[255];    /* zero-terminated, except a name of 255 characters */
    char node_symname[256];    /* zero-terminated */
    uint32_t ip_addr;          /* IPv4 address, first octet in the high byte */
    uint32_t cos;              /* classes of service */
    uint32_t ipa[2];           /* initial process associator */
    uint32_t fc4_types[8];     /* FC-4 type t registered: bit t & 31 of word t >> 5 */
} tv_nameserver_entry;

/* The whole name server, walked by tv_get_nameserverdata; released by tv_free_nameserverdata. */
typedef struct tv_nameserver_list {
    int32_t count;
    tv_nameserver_entry *entries;
} tv_nameserver_list;

/* The loop initiators of a switch (356 bytes); entry i of each array is initiator i. */
typedef struct tv_initiators {
    uint8_t count;
    uint8_t port[TV_MAX_INITIATORS];
    uint8_t alpa[TV_MAX_INITIATORS];
    uint32_t value[TV_MAX_INITIATORS];       /* passed through uninterpreted */
    uint8_t node_wwn[TV_MAX_INITIATORS][8];
    uint8_t port_wwn[TV_MAX_INITIATORS][8];
} tv_initiators;

/* What is attached to a port (tv_get_port_status). The fixed part comes from the port-state
 * vector; the detail that follows it is chosen by `type`. Zeroed by tv_get_port_status; the
 * loop detail's arrays are released by tv_free_port_status. */
typedef struct tv_port_status {
    uint32_t port;         /* the port asked for, from 0 */
    uint32_t type;         /* port type code (TV_PORT_TYPE_...) */
    uint32_t operational;  /* operational state code */
    uint32_t admin;        /* administrative state code */
    uint32_t logged_in;    /* nonzero: a device or a switch is logged in on the port */
    union {
        struct {                       /* F_Port */
            uint32_t port_id;          /* FC address of the attached device */
            uint8_t port_wwn[8];       /* zero when the name server has no object */
            uint8_t node_wwn[8];
        } f_port;
        struct {                       /* T_Port */
            uint32_t remote_fc_addr;   /* FC address of the linked switch */
            uint32_t remote_ip;        /* its IPv4 address, network byte order */
            uint8_t remote_wwn[8];     /* its WWN */
        } t_port;
        struct {                       /* every other type: the devices of the loop */
            uint32_t count;            /* devices D */
            uint32_t address;          /* the port's own loop address */
            uint8_t *alpas;            /* D loop addresses */
            uint8_t (*port_wwns)[8];   /* D port WWNs, zero when not found */
            uint8_t (*node_wwns)[8];   /* D node WWNs, zero when not found */
        } loop;
    };
} tv_port_status;

#endif
