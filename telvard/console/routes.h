// The console's routes, by what they serve (each group in its own file).
#pragma once

#include <memory>
#include <variant>
#include <vector>

#include "http_server/message.h"
#include "telvard/console/console.h"
#include "telvard/console/gate.h"

namespace telvard::console {

// The last view of the request's `fabric`, or the answer that refuses the request (400 no
// fabric, 404 not watched, 409 not read yet).
std::variant<std::shared_ptr<const fabric_view>, http::response> view_of(const sources& s, const http::request& r);
// The record of the request's `chassis` in a snapshot document, or the refusal (400, 404).
std::variant<const json*, http::response> switch_of(const json& doc, const http::request& r);

// The fabrics, a fabric's switches and map, a switch and its panel, devices, zoning: from the
// last readings.
std::vector<http::route> fabric_routes(gate& g, const sources& s);
// The history, the events, the fabric at two times compared: from the history store.
std::vector<http::route> history_routes(gate& g, const sources& s);
// The live port table, and the zoning's preview and apply: through the library.
std::vector<http::route> live_routes(gate& g, const sources& s);
// GET / and /assets/NAME: the pages, built into the program.
std::vector<http::route> asset_routes();

}  // namespace telvard::console
