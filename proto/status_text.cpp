// The one table of status codes and their printed messages; print_error of the command layer
// prints from it. Codes that are set but have no message of their own (12, 22, 107, 110 ...)
// are absent: print_error prints "Unrecognized error (%d)\n" for them.
#include <array>

#include "telvar/tv_errs.h"

namespace {

struct status_entry {
    int code;
    const char* text;
};

constexpr std::array<status_entry, 15> status_texts{{
    {TV_OK, "OK\n"},
    {TV_ERR_SOCKET_STARTUP, "Socket startup error\n"},
    {TV_ERR_BAD_HOST, "Bad hostname/IP address\n"},
    {TV_ERR_SOCKET, "Invalid socket error\n"},
    {TV_ERR_BIND, "Socket bind failed\n"},
    {TV_ERR_SEND, "Socket transmission failed\n"},
    {TV_ERR_NO_RESPONSE, "No response received\n"},
    {TV_ERR_WWN_NOT_FOUND, "WWN not found in any Zone\n"},
    {TV_ERR_SWITCH, "Switch responded to command with an error\n"},
    {TV_ERR_NOT_RECOGNIZED, "Command not recognized by switch\n"},
    {TV_ERR_LOGIN_REQUIRED, "Command requires user login\n"},
    {TV_ERR_ALLOC, "Memory Allocation Error\n"},
    {TV_ERR_PARAM, "Invalid Parameter\n"},
    {TV_ERR_USER_PW, "Invalid UserID or Password\n"},
    {TV_ERR_LOGIN, "Login failure\n"},
}};

}  // namespace

extern "C" const char* tv_status_text(int code) {
    for (const auto& e : status_texts)
        if (e.code == code) return e.text;
    return nullptr;
}
