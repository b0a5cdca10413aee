// One reading of a fabric: the walk the tool's snapshot makes, without the ports' counters
// (they are no change of the fabric), logged in as the credentials say.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "telvar/cli/credentials.h"
#include "tv_api/command_support.h"

namespace telvard {

// A context to the fabric at `address`, to log into its switches as `login` says (null: none
// needed); null when no context could be opened.
tv::owned_context<&tv_close> open_fabric(const std::string& address, const telvar::credentials::entry* login);

// The fabric walked from `address` as a snapshot document. A fabric that cannot be reached at
// all gives a document whose name server and switches are missing: the history then records
// its switches as not answering, never as gone.
nlohmann::json read_fabric(const std::string& address, const telvar::credentials::entry* login);

// The library set up for a long-running reader: strict answers, sequence numbers of its own,
// its log to `log` (null: discarded).
void set_up_library(std::FILE* log);

}  // namespace telvard
