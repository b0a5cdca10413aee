// Zoning commands of the tool: disabling every zone of a type, the name-server zoning type,
// saving and resetting WWN zoning, listing the WWN zone table, and adding a WWN to a zone or
// removing it from one.
#include <array>
#include <cstring>

#include "proto/zoning/layout.h"
#include "telvar/commands/command_cores.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/framework/zone_args.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace {

using telvar::option_def;
using telvar::print;
namespace W = tv::layout::zoning::wwn;

// set_wwn_zone and rem_wwn_zone: <ip-address> <zone-id> <WWN> [<name>].
telvar::outcome change_wwn_zone(int32_t argc, char** argv, bool add) {
    using telvar::outcome;
    bool inclusive = false;
    constexpr std::array<option_def, 1> own{{{'i', false}}};
    telvar::parse_options(argc, argv, add ? std::span<const option_def>(own) : std::span<const option_def>{},
                          [&](char, const char*) { inclusive = true; });
    telvar::command_context ctx{telvar::open_context(argc, argv, 3)};
    if (!ctx) return ctx.failure();
    const int32_t zone = tv::to_int(argv[1]);
    if (zone < 0 || zone >= static_cast<int32_t>(W::zones)) {
        print("set_zone: bad zone id: %d\n", zone);
        tv_api_errno = TV_ERR_PARAM;
    }
    uint8_t wwn[W::wwn_len];
    ascii_to_wwn(wwn, argv[2]);
    const char* name = argc > 3 ? argv[3] : nullptr;
    // A failed port-count query while opening skips the operation without a word.
    if (tv_api_errno != TV_OK) return outcome::of_status(tv_api_errno);
    const auto z = static_cast<uint32_t>(zone);
    const int32_t code = add ? tv_set_wwn_zone(ctx.get(), z, wwn, name, inclusive ? 1 : 0)
                             : tv_rem_wwn_zone(ctx.get(), z, wwn, name);
    if (code != TV_OK) return telvar::reported(tv_api_errno);
    print("SUCCESS\n");
    return outcome::done(true);
}

}  // namespace

namespace telvar::cores {

outcome disable_zone_type(int32_t argc, char** argv) {
    bool save = false;
    constexpr std::array<option_def, 1> own{{{'s', false}}};
    parse_options(argc, argv, own, [&](char, const char*) { save = true; });
    command_context ctx{open_context(argc, argv, 2)};
    if (!ctx) return ctx.failure();
    const zone_type_arg type = parse_zone_type(argv[1]);
    if (type.what == zone_type_arg::kind::unknown_word) {
        ctx.close();
        usage();
    }
    if (type.what == zone_type_arg::kind::bad_number) {
        print("bad zone type: %d\n", type.value);
        tv_api_errno = TV_ERR_PARAM;
    }
    // Only the word "ns" opens the name-server range; a numeric 2 keeps the limit of 16. The
    // zone number is checked but takes no part in the operation.
    const int32_t limit = std::strcmp(argv[1], "ns") == 0 ? 256 : 16;
    if (argc == 3) {
        if (starts_with_digit(argv[2])) {
            const int32_t n = tv::to_int(argv[2]);
            if (n > limit) {
                print("bad zone number: %d\n", n);
                tv_api_errno = TV_ERR_PARAM;
            }
        } else if (std::strcmp(argv[2], "all") != 0) {
            tv_api_errno = TV_ERR_PARAM;
        }
    }
    if (tv_api_errno == TV_ERR_PARAM) return outcome::refused();
    // The operation goes ahead after a failed port-count query; its own status then decides.
    if (tv_disable_zoning(ctx.get(), static_cast<uint32_t>(type.value), save ? 1 : 0) != TV_OK)
        return reported(tv_api_errno);
    print("SUCCESS\n");
    return outcome::done(true);
}

outcome ns_zone_type(int32_t argc, char** argv) {
    bool set = false;
    bool bad_word = false;
    uint32_t mode = 0;
    constexpr std::array<option_def, 1> own{{{'s', true}}};
    parse_options(argc, argv, own, [&](char, const char* value) {
        set = std::strcmp(value, "port") == 0 || std::strcmp(value, "wwn") == 0;
        bad_word = !set;
        if (set)
            mode = std::strcmp(value, "wwn") == 0 ? 1 : 0;
        else
            print("ns_zone_type unknown option -s %s\n", value);
    });
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    uint32_t current = 0;
    if (tv_get_type_ns_zoning(ctx.get(), &current) != TV_OK) return reported(tv_api_errno);
    if (set && tv_set_type_ns_zoning(ctx.get(), mode) != TV_OK) return reported(tv_api_errno);
    if (set)
        print("new ns_zone_type: %d\n", static_cast<int>(mode));
    else
        print("current ns_zone_type: %d\n", static_cast<int>(current));
    // An unknown -s word was reported and the command read the type instead of setting it.
    return bad_word ? outcome::refused() : outcome::done(set);
}

outcome wwn_zone(int32_t argc, char** argv) {
    bool save = false;
    bool reset = false;
    int32_t mode = 0;
    constexpr std::array<option_def, 2> own{{{'s', false}, {'r', true}}};
    parse_options(argc, argv, own, [&](char letter, const char* value) {
        if (letter == 's') {
            save = true;
        } else {
            mode = tv::to_int(value);  // not checked: the switch judges the mode
            reset = true;
        }
    });
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    // Unlike the other commands, a failed save or reset is what this one returns.
    outcome result = outcome::done(save || reset);
    if (save && tv_save_wwn_zoning(ctx.get()) != TV_OK) result = reported(tv_api_errno);
    if (result.ok() && reset && tv_reset_wwn_zoning(ctx.get(), static_cast<uint8_t>(mode)) != TV_OK)
        result = reported(tv_api_errno);
    if (result.ok()) print("SUCCESS\n");
    result.returned = result.code;
    return result;
}

outcome get_wwn_zone(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    tv_wwn_zone_page page{};
    int32_t first = 0;
    // However many entries the switch claims, the walk stops at the most a table may hold.
    do {
        if (tv_get_wwn_zone(ctx.get(), first, &page) != TV_OK) break;
        show_wwn_zones(&page);
        first += static_cast<int32_t>(W::page_entries);
    } while (static_cast<uint32_t>(page.total) > static_cast<uint32_t>(first) &&
             first < W::max_walk_entries);
    if (tv_api_errno != TV_OK) return reported(tv_api_errno);
    print("SUCCESS\n");
    return outcome::done();
}

outcome set_wwn_zone(int32_t argc, char** argv) { return change_wwn_zone(argc, argv, true); }

outcome rem_wwn_zone(int32_t argc, char** argv) { return change_wwn_zone(argc, argv, false); }

}  // namespace telvar::cores

extern "C" {

int32_t disable_zone_type(int32_t argc, char** argv) { return telvar::cores::disable_zone_type(argc, argv).returned; }

int32_t ns_zone_type(int32_t argc, char** argv) { return telvar::cores::ns_zone_type(argc, argv).returned; }

int32_t wwn_zone(int32_t argc, char** argv) { return telvar::cores::wwn_zone(argc, argv).returned; }

int32_t get_wwn_zone(int32_t argc, char** argv) { return telvar::cores::get_wwn_zone(argc, argv).returned; }

int32_t show_wwn_zones(const tv_wwn_zone_page* page) {
    if (page == nullptr) return 1;
    if (page->start == 0) {
        print("total: %d\n", page->total);
        if (page->total == 0) return 1;
    }
    const int64_t n = std::min<int64_t>(int64_t{page->total} - page->start, TV_WWN_PAGE_ENTRIES);
    for (int64_t i = 0; i < n; ++i) {
        print("WWN: ");
        show_wwn(page->wwn[i], "\n");
        print("     Member of zone(s): ");
        for (uint32_t word = 0; word < W::bit_words; ++word)
            for (uint32_t bit = 0; bit < 32; ++bit)
                if ((page->zone_bits[i][word] >> bit) & 1) print("%d ", static_cast<int>(32 * word + bit));
        print("\n");
    }
    return 1;
}

int32_t set_wwn_zone(int32_t argc, char** argv) { return telvar::cores::set_wwn_zone(argc, argv).returned; }

int32_t rem_wwn_zone(int32_t argc, char** argv) { return telvar::cores::rem_wwn_zone(argc, argv).returned; }

}  // extern "C"
