// One scrape of the exporter: what it reads of every switch it is pointed at (and, with the
// fabric walk, of every switch their links lead to), as plain samples that the collector turns
// into metric families.
//
// A scrape is bounded in time twice: every exchange by the library's budget (strict answer mode
// ends one at 1.5 times it), and the scrape as a whole by a deadline that is checked before
// every operation. A switch that does not answer is marked down after its first failed read and
// is not asked anything else; what the deadline leaves unread counts as an error.
//
// The library is single-threaded: a scrape must never run beside another call into it.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "telvar/tv_api.h"

namespace exporter {

using steady = std::chrono::steady_clock;

struct scrape_options {
    bool fabric = false;                     // follow the links of every target
    std::chrono::milliseconds deadline{8000};  // for the whole scrape
    // With a user, every switch is logged into after its identity is read (switches that
    // require a login refuse everything else) and logged out of when the target's reads are
    // done.
    std::string user{};
    std::string password{};
    // Per target address (the credentials file): the user and password that its switches are
    // logged into with, in place of the two above.
    std::map<std::string, std::pair<std::string, std::string>> logins{};
};

struct port_sample {
    std::uint32_t port = 0;  // from 0
    std::uint8_t type = 0;
    std::optional<tv_port_state_entry> state;
    std::optional<tv_port_counters> counters;
};

struct switch_sample {
    explicit switch_sample(std::string target_ip, std::uint32_t address = 0)
        : target(std::move(target_ip)), fc_address(address) {}

    std::string target;            // the address the switch was reached through
    std::uint32_t fc_address;      // 0: not known (a target that never answered)
    bool up = false;               // its identity was read in this scrape
    std::string wwn;
    std::optional<tv_chassis_status> chassis;
    std::optional<std::uint32_t> uptime;  // hundredths of a second
    std::vector<port_sample> ports;
    std::optional<std::int64_t> name_server_objects;  // objects attached to it
    int errors = 0;                // reads that failed or that the deadline left out
    int busy = 0;                  // of those, reads the switch refused as busy (107)
    double seconds = 0;            // time spent reading it
};

struct scrape_result {
    std::vector<switch_sample> switches;
    std::map<std::string, std::int64_t> fabric_objects;  // per target: a completed name-server walk
    bool deadline_exceeded = false;
    double seconds = 0;
};

// Reads the switches at `targets` (dotted IPv4 addresses), in order. A switch met a second time
// (by WWN, through another target's links) is read once.
scrape_result scrape(const std::vector<std::string>& targets, const scrape_options& options);

}  // namespace exporter
