// Login and user accounts: the switch's accounts, whether it requires a login, and the managers
// logged in.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "switchsim/core/family.h"

namespace sim {

struct user {
    std::string id;
    std::string password;
    std::uint8_t level = 1;  // 1 to 3; 3 may manage accounts
};

// A manager (its IPv4 address and UDP port) is logged in as a user from a successful login
// until its logout, a reset of the switch, or `expiry` without a request.
struct session {
    std::string user;
    std::chrono::steady_clock::time_point last_request;
};

struct login_state {
    std::vector<user> users;
    bool login_required = false;
    std::chrono::seconds expiry{32400};  // 9 hours, as managers count it
    std::map<std::uint64_t, session> sessions;

    const user* find_user(const std::string& id) const;
    // Whether the manager `key` is logged in now; a session that expired ends here, a live one
    // is refreshed by the request being let through.
    bool session_active(std::uint64_t key);
};

struct login_family {
    using state = login_state;
    static const family_info& info();
};

}  // namespace sim
