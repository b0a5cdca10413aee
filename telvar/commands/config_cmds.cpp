// Switch configuration commands of the tool: chassis_mode, chassis_tovs and defaults (their
// cores, and the exported functions over them), and the display of the timeout values.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "telvar/commands/command_cores.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace {

using telvar::print;

struct named_mode {
    const char* word;  // of -s
    const char* name;  // as reported
};
// Indexed by chassis mode: 1 online, 2 offline, 3 test.
constexpr std::array<named_mode, 4> modes{{{nullptr, " "}, {"on", "online"}, {"off", "offline"}, {"test", "test"}}};

uint32_t mode_of(const char* word) {
    for (uint32_t m = 1; m < modes.size(); ++m)
        if (std::strcmp(modes[m].word, word) == 0) return m;
    usage();
}

const char* mode_name(uint32_t mode) { return mode < modes.size() ? modes[mode].name : " "; }

// "Stage Type: ..." from the chassis type, the active stage type and the SL-zoning flag.
telvar::outcome show_stage_type(tv_context* ctx) {
    using telvar::outcome;
    uint32_t type = 0;
    if (tv_get_chassis_type(ctx, &type) != 0) return telvar::reported(tv_api_errno);
    if (type != 1) {
        print("Stage Type: Hub\n");
        return outcome::done();
    }
    uint8_t stage = 0;
    if (tv_get_stagetype(ctx, 1, &stage) != 0) return telvar::reported(tv_api_errno);
    if (stage != 0) {
        print("Stage Type: Crosslink\n");
        return outcome::done();
    }
    uint8_t flag = 0;
    if (tv_get_slzoningmode_flag(ctx, &flag) != 0) return telvar::reported(tv_api_errno);
    print(flag == 1 ? "Stage Type: SL Zones\n" : "Stage Type: I/O Transfer\n");
    return outcome::done();
}

// Bits of the change mask of chassis_tovs.
constexpr unsigned change_ed = 1, change_ra = 2, change_rt = 4, change_mfs = 8;

}  // namespace

extern "C" {

void show_chassis_tovs(const tv_switch_tovs* tovs) {
    if (tovs == nullptr) return;
    print("Timeout Values:\n");
    print("  edtov:\t%d\n", tovs->edtov);
    print("  mfstov:\t%d\n", tovs->mfstov);
    print("  ratov:\t%d\n", tovs->ratov);
    print("  rttov:\t%d\n", tovs->rttov);
}

}  // extern "C"

namespace telvar::cores {

// chassis_mode [-s on|off|test] <ip-address>
outcome chassis_mode(int32_t argc, char** argv) {
    uint32_t new_mode = 0;
    constexpr std::array<telvar::option_def, 1> own{{{'s', true}}};
    telvar::parse_options(argc, argv, own, [&](char, const char* value) { new_mode = mode_of(value); });
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    // Without -s the status code is still the one the opening left (its port-count query).
    if (new_mode != 0) tv_set_chassis_mode(ctx.get(), new_mode);
    if (tv_api_errno != 0) return reported(tv_api_errno);
    uint32_t mode = 0;
    if (tv_get_chassis_mode(ctx.get(), &mode) != 0) return reported(tv_api_errno);
    print("Chassis-mode: %d %s\n", static_cast<int>(mode), mode_name(mode));
    return show_stage_type(ctx.get()).also(outcome::done(new_mode != 0));
}

// chassis_tovs [-s] [-m <mfs-timeout>] [-e <edtov>] [-a <ratov>] [-t <rttov>] <ip-address>
outcome chassis_tovs(int32_t argc, char** argv) {
    if (argc < 2) usage();
    tv_switch_tovs wanted{};
    unsigned mask = 0;
    bool save = false;
    constexpr std::array<telvar::option_def, 5> own{
        {{'e', true}, {'a', true}, {'t', true}, {'m', true}, {'s', false}}};
    telvar::parse_options(argc, argv, own, [&](char letter, const char* value) {
        const int32_t v = tv::to_int(value);
        switch (letter) {
            case 'e': wanted.edtov = v, mask |= change_ed; break;
            case 'a': wanted.ratov = v, mask |= change_ra; break;
            case 't': wanted.rttov = v, mask |= change_rt; break;
            case 'm': wanted.mfstov = static_cast<uint16_t>(v), mask |= change_mfs; break;
            default: save = true; break;
        }
    });
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    tv_switch_tovs tovs{};
    if (mask != 0) {
        if (tv_get_switch_tovs(ctx.get(), 1, &tovs) != 0) {
            print("Get switch TOVs:  ");
            return reported(tv_api_errno);
        }
        if (mask & change_ed) tovs.edtov = wanted.edtov;
        if (mask & change_ra) tovs.ratov = wanted.ratov;
        if (mask & change_rt) tovs.rttov = wanted.rttov;
        if (mask & change_mfs) tovs.mfstov = wanted.mfstov;
        if (tv_set_switch_tovs(ctx.get(), &tovs) != 0) {
            print("Set switch TOVs:  ");
            return reported(tv_api_errno);
        }
    }
    // Without a change the status code is still the one the opening left; the report of the
    // values is left out without a word, so the failed query is the command's failure.
    if (tv_api_errno != 0) return outcome::of_status(tv_api_errno);
    outcome result = outcome::done(mask != 0);
    if (save && tv_save_active(ctx.get()) != 0) {
        print("Save active:  ");
        return result.also(reported(tv_api_errno));
    }
    print(save ? "Saved:\n" : "Active:\n");
    if (tv_get_switch_tovs(ctx.get(), save ? 0 : 1, &tovs) == 0) {
        show_chassis_tovs(&tovs);
    } else {
        print("Timeout Values:\n");
        result.also(reported(tv_api_errno));
    }
    return result;
}

// defaults <ip-address> <filename>
outcome defaults(int32_t argc, char** argv) {
    if (argc < 2) usage();
    telvar::parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    if (argc < 2) return outcome::refused();  // no file: nothing is sent
    const char* name = argv[1];
    print("filename: %s\n", name);
    std::FILE* file = std::fopen(name, "r");
    if (file == nullptr) {
        print(" Error opening input file: %s \n", name);
        // A command-line error: the file named on the line is what must change, not the switch.
        return outcome::refused();
    }
    outcome result = outcome::done(true);
    if (upload_settings(ctx.get(), file) != 0)
        result = reported(tv_api_errno);
    else
        print("SUCCESS\n");
    std::fclose(file);
    return result;
}

}  // namespace telvar::cores

extern "C" {

int32_t chassis_mode(int32_t argc, char** argv) { return telvar::cores::chassis_mode(argc, argv).returned; }

int32_t chassis_tovs(int32_t argc, char** argv) { return telvar::cores::chassis_tovs(argc, argv).returned; }

int32_t defaults(int32_t argc, char** argv) { return telvar::cores::defaults(argc, argv).returned; }

}  // extern "C"
