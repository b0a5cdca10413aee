// The watcher's readings: each fabric read, compared with its last reading, and what changed
// stored in the history in one transaction.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "history/store.h"
#include "telvar/cli/credentials.h"
#include "telvard/settings.h"

namespace telvard {

struct reading_outcome {
    nlohmann::json snapshot;  // what was read (the receiver learns the fabric's switches from it)
    std::size_t changes = 0;  // rows stored, shown or not
    std::size_t shown = 0;
    bool whole = false;       // every switch and the name server answered
};

// Reads the fabric and records the reading at the time the walk ended.
reading_outcome take_reading(telvar::history::store& store, const std::string& fabric,
                             const telvar::credentials::entry* login);

telvar::history::time_ms now_ms();

}  // namespace telvard
