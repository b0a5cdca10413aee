/* Message layout shared by every command.
 *
 * A message of total length L is a 16-byte header, L - 20 bytes of command payload and a 4-byte
 * checksum (unsigned byte sum of bytes 0 .. L-5). Every multi-byte field is big-endian on the
 * wire; offsets in the library are byte offsets from the start of the message.
 *
 *   byte 0    bits 7-4 hdr_version (1), bits 3-0 high bits of hdr_format
 *   byte 1    bits 7-6 low bits of hdr_format (4), bits 5-0 hdr_option (0)
 *   byte 2    hdr_status (response status byte)
 *   byte 3-4  reserved
 *   byte 5-7  hdr_dest (24-bit destination Fibre Channel address)
 *   byte 8-9  hdr_command
 *   byte 10-11 hdr_length (L - 16)
 *   byte 12-15 hdr_seq
 *
 * tv_msg_header holds the decoded fields; it is never copied onto the wire. */
#ifndef TV_UTILMSG_H
#define TV_UTILMSG_H

#include <stdint.h>

#define TV_HDR_LEN 16          /* bytes of the message header */
#define TV_CHKSUM_LEN 4        /* bytes of the trailing checksum */
#define TV_MIN_MSG_LEN 20      /* header and checksum, no payload */
#define TV_MAX_MSG_LEN 512     /* largest message the library receives */
#define TV_SWITCH_UDP_PORT 5000
#define TV_DEFAULT_DEST 0x00FFFFFDu

/* Header command codes. */
#define TV_CMD_VERSION 0x07
#define TV_CMD_SWITCH_RESET 0x0F
#define TV_CMD_CHASSIS_STATUS 0x12
#define TV_CMD_CONFIG 0x30        /* configuration family: 32-bit sub-command at offset 16 */
#define TV_CMD_ONLINE_TEST 0x31
#define TV_CMD_TRAP 0x32
#define TV_CMD_NAME_SERVER 0x33

/* Response status bytes. */
#define TV_HDR_STATUS_OK 0x00
#define TV_HDR_STATUS_UNKNOWN 0x01
#define TV_HDR_STATUS_BUSY 0x03
#define TV_HDR_STATUS_LOGIN 0x0E

typedef struct tv_msg_header {
    uint8_t hdr_version;   /* 4 bits on the wire */
    uint8_t hdr_format;    /* 6 bits */
    uint8_t hdr_option;    /* 6 bits */
    uint8_t hdr_status;
    uint32_t hdr_dest;     /* 24 bits */
    uint16_t hdr_command;
    uint16_t hdr_length;
    uint32_t hdr_seq;
} tv_msg_header;

#endif
