// The history store written once over a connection (history/connection.h), whichever
// database is behind it.
#pragma once

#include <memory>

#include "history/connection.h"
#include "history/store.h"

namespace telvar::history {

// Takes a connection whose schema prepare_schema() has checked. A reader's store refuses
// every write.
std::unique_ptr<store> make_sql_store(std::unique_ptr<connection> c, bool writer);

}  // namespace telvar::history
