// A generated fabric served by the simulator in this process, for the benchmarks that read one.
#pragma once

#include <memory>

#include "switchsim/core/generated_fabric.h"
#include "switchsim/core/server.h"

namespace bench {

// The fabric of `shape` with its first switch at `address` (the others follow it), bound and
// serving; null, with the reason on standard error, when it cannot be. It stops when let go.
std::unique_ptr<sim::server> serve_generated(const sim::generate_shape& shape, const char* address);

}  // namespace bench
