// The members of a snapshot that locate, zone_lint and diff read, and their types (snapshot_shape.h).
#include "telvar/data/snapshot_shape.h"

#include <array>
#include <string_view>

namespace telvar::data {

namespace {

using nlohmann::json;

enum class kind { object, integer, string, boolean };

struct rule {
    std::string_view path;  // members joined by '.'; "name[]" stands for each element of an array
    kind k;
};

constexpr std::array rules{
    rule{"switches[]", kind::object},
    rule{"switches[].chassis", kind::integer},
    rule{"switches[].fc_address", kind::string},
    rule{"switches[].identity.wwn", kind::string},
    rule{"switches[].status", kind::object},
    rule{"switches[].status.code", kind::integer},
    rule{"switches[].status.message", kind::string},
    rule{"switches[].ports[]", kind::object},
    rule{"switches[].ports[].port", kind::integer},
    rule{"switches[].ports[].type", kind::string},
    rule{"switches[].ports[].operational", kind::string},
    rule{"switches[].ports[].devices[]", kind::string},
    rule{"switches[].zoning", kind::object},
    rule{"switches[].zoning.ns_zoning", kind::string},
    rule{"switches[].zoning.hard[]", kind::object},
    rule{"switches[].zoning.hard[].id", kind::integer},
    rule{"switches[].zoning.hard[].enabled", kind::boolean},
    rule{"switches[].zoning.hard[].ports[]", kind::integer},
    rule{"switches[].zoning.name_server[]", kind::object},
    rule{"switches[].zoning.name_server[].id", kind::integer},
    rule{"switches[].zoning.name_server[].enabled", kind::boolean},
    rule{"switches[].zoning.name_server[].ports[]", kind::integer},
    rule{"switches[].zoning.broadcast[]", kind::object},
    rule{"switches[].zoning.broadcast[].id", kind::integer},
    rule{"switches[].zoning.broadcast[].enabled", kind::boolean},
    rule{"switches[].zoning.broadcast[].ports[]", kind::integer},
    rule{"switches[].zoning.sl[]", kind::object},
    rule{"switches[].zoning.sl[].id", kind::integer},
    rule{"switches[].zoning.sl[].enabled", kind::boolean},
    rule{"switches[].zoning.sl[].ports[]", kind::integer},
    rule{"switches[].zoning.wwn[]", kind::object},
    rule{"switches[].zoning.wwn[].wwn", kind::string},
    rule{"switches[].zoning.wwn[].zones[]", kind::integer},
    rule{"name_server.devices[]", kind::object},
    rule{"name_server.devices[].port_wwn", kind::string},
    rule{"name_server.devices[].node_wwn", kind::string},
    rule{"name_server.devices[].fc_address", kind::string},
    rule{"name_server.devices[].port", kind::integer},
    rule{"name_server.devices[].chassis", kind::integer},
};

bool is(const json& v, kind k) {
    switch (k) {
        case kind::object: return v.is_object();
        case kind::integer: return v.is_number_integer();
        case kind::string: return v.is_string();
        case kind::boolean: return v.is_boolean();
    }
    return false;
}

constexpr const char* kind_text(kind k) {
    switch (k) {
        case kind::object: return "an object";
        case kind::integer: return "an integer";
        case kind::string: return "a string";
        case kind::boolean: return "true or false";
    }
    return "";
}

// Follows `path` from `at` (named `where`) to every value it names and checks each.
std::string check(const json& at, std::string_view path, const std::string& where, kind k) {
    if (path.empty()) return is(at, k) ? std::string() : where + " is not " + kind_text(k);
    const std::size_t dot = path.find('.');
    std::string_view name = path.substr(0, dot);
    const std::string_view rest = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    const bool each = name.ends_with("[]");
    if (each) name.remove_suffix(2);
    // A member of something that is not an object, or an array that is not one, is read as
    // absent; the rules for the object itself say so where it matters.
    if (!at.is_object()) return {};
    const auto member = at.find(name);
    if (member == at.end()) return {};
    const std::string here = (where.empty() ? "" : where + ".") + std::string(name);
    if (!each) return check(*member, rest, here, k);
    if (!member->is_array()) return {};
    for (std::size_t i = 0; i < member->size(); ++i)
        if (std::string why = check((*member)[i], rest, here + "[" + std::to_string(i) + "]", k); !why.empty())
            return why;
    return {};
}

}  // namespace

std::string snapshot_shape_problem(const json& doc) {
    for (const rule& r : rules)
        if (std::string why = check(doc, r.path, "", r.k); !why.empty()) return why;
    return {};
}

}  // namespace telvar::data
