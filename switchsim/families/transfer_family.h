// Firmware and file transfer: the firmware image a switch was last loaded with, the stores that
// downloads fill and uploads read (named by two selector bytes), the transfers in progress, and
// a log of what the transfers received.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "switchsim/core/family.h"

namespace sim {

// A transfer towards the switch, collected block by block until its total is reached.
struct incoming {
    bool open = false;
    std::uint32_t total = 0;
    std::uint32_t blocks = 0;     // accepted so far; the next must carry this number
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> last_block;  // a resend of it is answered again, not appended
};

struct transfer_state {
    using store_key = std::pair<std::uint8_t, std::uint8_t>;  // target, second selector
    std::map<store_key, std::vector<std::uint8_t>> stores;
    std::vector<std::uint8_t> firmware;  // the image of the last complete load
    std::uint32_t firmware_loads = 0;
    incoming load;
    std::map<store_key, incoming> downloads;
    std::vector<std::string> log;  // one line per transfer completed or refused
};

struct transfer_family {
    using state = transfer_state;
    static const family_info& info();
};

}  // namespace sim
