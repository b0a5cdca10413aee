/* Records of switch identity and chassis status: the version record, the chassis status and the
 * management system information. Filled by tv_get_version, tv_get_chassis_status and
 * tv_get_snmp_sysconfig; a record is written only when its exchange succeeded. */
#ifndef TV_VERSION_H
#define TV_VERSION_H

#include <stdint.h>

/* Room of the transceiver array. The 116-byte chassis status response has room for 80
 * transceiver bytes (32 to 111) before its checksum; num_ports never exceeds what was read. */
#define TV_MAX_GBIC 84

typedef struct tv_version_info {
    uint32_t flash_rev;   /* firmware revision */
    uint32_t hw_rev;      /* hardware revision */
    uint32_t prom_rev;    /* PROM revision */
    uint32_t ver_info1;   /* passed through uninterpreted */
    uint32_t ver_info2;   /* passed through uninterpreted */
    uint32_t ver_info3;   /* the switch's own Fibre Channel address */
    uint8_t wwn[8];       /* the switch's WWN, most significant byte first */
    uint8_t mac[6];       /* the switch's MAC address */
    uint32_t ver_info4;   /* passed through uninterpreted */
    uint32_t spare;       /* always 0 */
} tv_version_info;

typedef struct tv_chassis_status {
    uint8_t power_status;     /* 0 OK, 1 failed */
    uint8_t temp_status;      /* 0 OK, 1 failed */
    int32_t temperature;      /* half degrees Celsius */
    int8_t fan1_status;       /* -1 not installed, 0 OK, 1 failed */
    int8_t fan2_status;
    int8_t sensor_status;     /* -1 not determined, 0 OK, 1 failed */
    uint8_t num_ports;        /* entries of gbic_type that are filled (at most TV_MAX_GBIC) */
    uint8_t gbic_type[TV_MAX_GBIC]; /* transceiver type code of each port, port 0 first */
} tv_chassis_status;

typedef struct tv_sysconfig {
    uint32_t uptime;          /* hundredths of a second */
    char description[64];     /* zero-terminated */
    char text2[64];
    char text3[64];
} tv_sysconfig;

#endif
