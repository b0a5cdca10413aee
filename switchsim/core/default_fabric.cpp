// The embedded default fabric. Its three switches differ on purpose so that the demo and the
// tests meet every branch of the reports: firmware generations with different sensor codes,
// a missing and a failed fan, loops of every kind, offline and failed ports.
//
//   sw1 (chassis 1) port 16 ---- port 1 sw2 (chassis 2) port 16 ---- port 1 sw3 (chassis 3)
#include "switchsim/core/default_fabric.h"

#include <stdexcept>
#include <string>

#include "switchsim/core/fabric_file.h"

namespace sim {

fabric default_fabric(in_addr_t base) {
    std::string why;
    auto f = parse_fabric(default_fabric_json, why);
    // The text is part of the program; a mistake in it is the program's, found by every test.
    if (!f) throw std::logic_error("default_fabric.json: " + why);
    move_addresses(*f, base);
    return std::move(*f);
}

}  // namespace sim
