// Login and user accounts: the switch's accounts, whether it requires a login, and the managers
// logged in.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "family.h"

namespace sim {

struct user {
    std::string id;
    std::string password;
    std::uint8_t level = 1;  // 1 to 3; 3 may manage accounts
};

// A manager (its IPv4 address and UDP port) is logged in as a user from a successful login
// until its logout or a reset of the switch.
struct login_state {
    std::vector<user> users;
    bool login_required = false;
    std::map<std::uint64_t, std::string> sessions;

    const user* find_user(const std::string& id) const;
};

struct login_family {
    using state = login_state;
    static const family_info& info();
};

}  // namespace sim
