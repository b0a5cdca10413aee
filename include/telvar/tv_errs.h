/* Status codes of the library.
 *
 * Every operation leaves one of these in tv_api_errno and most also return it; 0 is success.
 * Besides the codes below, tv_message and the defaults-file reader store the C library's error
 * number when a file cannot be opened. The printed message of each code is given by
 * tv_status_text(). */
#ifndef TV_ERRS_H
#define TV_ERRS_H

#include "tv_export.h"

enum tv_status {
    TV_OK = 0,
    TV_ERR_NOMEM = 12,            /* an allocation failed (context, discovery, zoning, displays) */
    TV_ERR_ARG = 22,              /* an argument is outside the accepted set */
    TV_ERR_SOCKET_STARTUP = 101,  /* kept for completeness; never set */
    TV_ERR_BAD_HOST = 102,        /* host name does not resolve */
    TV_ERR_SOCKET = 103,          /* socket creation failed */
    TV_ERR_BIND = 104,            /* binding the socket failed five times */
    TV_ERR_SEND = 105,            /* sending failed */
    TV_ERR_NO_RESPONSE = 106,     /* no matching response within the time budget */
    TV_ERR_SWITCH_BUSY = 107,     /* status byte 0x03; transfer refused */
    TV_ERR_WWN_NOT_FOUND = 108,   /* WWN found in no zone */
    TV_ERR_CHECKSUM = 110,        /* received datagram's checksum is wrong */
    TV_ERR_SWITCH = 200,          /* the switch answered with an error */
    TV_ERR_NOT_RECOGNIZED = 201,  /* status byte 0x01: command not recognized */
    TV_ERR_LOGIN_REQUIRED = 202,  /* status byte 0x0E: command requires user login */
    TV_ERR_ALLOC = 300,           /* a record allocation failed in a command */
    TV_ERR_PARAM = 301,           /* an argument was rejected before anything was sent */
    TV_ERR_USER_PW = 400,         /* user id or password too long, missing or not matching */
    TV_ERR_LOGIN = 401            /* the switch refused a login */
};

TV_BEGIN_DECLS

/* The message printed for a status code, ending in a newline, or a null pointer for a code that
 * has no message of its own (print_error then prints "Unrecognized error (%d)\n"). */
TV_EXPORT const char *tv_status_text(int code);

TV_END_DECLS

#endif
