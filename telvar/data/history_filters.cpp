// The filters of the history's rows (see history_filters.h).
#include "telvar/data/history_filters.h"

#include <algorithm>
#include <array>

#include "proto/topology/layout.h"
#include "telvar/data/json_records.h"

namespace telvar::data {

namespace {

namespace J = telvar::json;

// The kinds of rows there are; the last two are kept only to rebuild the past, and shown only
// when asked for.
constexpr std::array<std::string_view, 16> row_kinds{
    "switch", "identity", "chassis", "system", "port", "link", "route", "zone", "wwn_zone", "ns_zoning",
    "traps", "trap_code", "device", "fabric", "attached", "initiators"};

}  // namespace

// Up to two digits are a chassis number: no switch has an FC address so low.
bool read_switch_filter(std::string_view text, history::query& q, std::string& why) {
    if (const auto wwn = J::parse_wwn(text)) {
        q.switch_wwn = J::wwn_text(wwn->data());
        return true;
    }
    const bool short_number = !text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string_view::npos;
    if (short_number && std::stoi(std::string(text)) <= 63) {
        q.chassis = std::stoi(std::string(text));
        return true;
    }
    // An address within no switch's range (its chassis bits all zero) names no switch.
    const auto fc = short_number ? std::nullopt : J::parse_fc_address(text);
    if (fc && tv::layout::topology::switch_addr_of(*fc) != 0) {
        q.switch_fc = J::fc_address_text(tv::layout::topology::switch_addr_of(*fc));
        return true;
    }
    why = "'" + std::string(text) + "' is not a chassis number (0 to 63), an FC address (0x104000) or a WWN (16 hex digits)";
    return false;
}

bool read_kind_filter(std::string_view text, history::query& q, std::string& why) {
    std::string_view rest = text;
    do {
        const std::size_t comma = std::min(rest.find(','), rest.size());
        const std::string_view k = rest.substr(0, comma);
        rest.remove_prefix(std::min(comma + 1, rest.size()));
        if (std::ranges::find(row_kinds, k) == row_kinds.end()) {
            std::string known;
            for (const std::string_view r : row_kinds) known += (known.empty() ? "" : ", ") + std::string(r);
            why = "'" + std::string(k) + "' is no kind of row; the kinds are " + known;
            return false;
        }
        if (std::ranges::find(q.kinds, k) == q.kinds.end()) q.kinds.emplace_back(k);
    } while (!rest.empty());
    return true;
}

}  // namespace telvar::data
