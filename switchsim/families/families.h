// The command families of the simulator, a line each. A family's state becomes a sub-record of
// every switch, its handlers join the request lookup and its fields the fabric-file reader.
#pragma once

#include "switchsim/families/chassis_family.h"
#include "switchsim/families/diag_family.h"
#include "switchsim/families/identity_family.h"
#include "switchsim/families/login_family.h"
#include "switchsim/families/name_server_family.h"
#include "switchsim/families/port_family.h"
#include "switchsim/families/sml_family.h"
#include "switchsim/families/topology_family.h"
#include "switchsim/families/transfer_family.h"
#include "switchsim/families/traps_family.h"
#include "switchsim/families/zoning_family.h"

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
    name_server_family,
    diag_family>;

}  // namespace sim
