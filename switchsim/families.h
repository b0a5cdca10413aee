// The command families of the simulator, a line each. A family's state becomes a sub-record of
// every switch, its handlers join the request lookup and its fields the fabric-file reader.
#pragma once

#include "chassis_family.h"
#include "identity_family.h"
#include "login_family.h"
#include "name_server_family.h"
#include "port_family.h"
#include "sml_family.h"
#include "topology_family.h"
#include "traps_family.h"
#include "zoning_family.h"
#include "transfer_family.h"

namespace sim {

using families = family_list<
    identity_family,
    port_family,
    login_family,
    chassis_family,
    sml_family,
    trap_family,
    zoning_family,
    transfer_family,
    topology_family,
    name_server_family>;

}  // namespace sim
