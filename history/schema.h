// The history's schema (docs/history.md, "Schema"): migrations from each version to the next,
// applied by the writer on open, and the checks a reader makes before it reads.
#pragma once

#include <string>

#include "history/connection.h"

namespace telvar::history {

// Writer: creates or migrates the schema up to store::schema_version, one transaction per
// version. Reader: fails unless the database holds a schema of exactly that version.
void prepare_schema(connection& c, bool writer);

// "no history at WHERE: ..." for a reader that finds nothing.
std::string no_history(const std::string& where);

}  // namespace telvar::history
