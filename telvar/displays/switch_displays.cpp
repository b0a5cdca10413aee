// Reports of a whole switch: WWN, version record, chassis status and system information.
// Each prints a record that a protocol operation has filled, with the tool's literal formats;
// codes outside the known sets are printed as numbers, so a display never fails.
#include <algorithm>
#include <array>
#include <cstdint>

#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

using telvar::print;

constexpr std::size_t wwn_bytes = 8;
constexpr std::size_t mac_bytes = 6;

// Power, temperature and fan status share one wording.
void print_status(int code) {
    switch (code) {
        case 0: print("OK\n"); break;
        case 1: print("FAILED\n"); break;
        default: print("Unrecognized status (%d)\n", code);
    }
}

// A fan that is not installed leaves the line open: the next item follows on it.
void print_fan_status(int code) {
    if (code == -1)
        print("none installed\t");
    else
        print_status(code);
}

// Transceiver names by type code; code 6 has none.
constexpr std::array<const char*, 8> gbic_names{
    "Optical shortwave\n", "Optical longwave\n", "Optical shortwave\n", "Copper\n",
    "Optical longwave\n",  "Copper\n",           nullptr,               "None installed\n",
};

void print_gbic(unsigned code) {
    if (code < gbic_names.size() && gbic_names[code] != nullptr)
        print("%s", gbic_names[code]);
    else
        print("Unrecognized type (%d)\n", static_cast<int>(code));
}

}  // namespace

extern "C" {

void show_wwn(const uint8_t* wwn, const char* suffix) {
    if (wwn != nullptr) {
        if (std::all_of(wwn, wwn + wwn_bytes, [](uint8_t b) { return b == 0; })) {
            print("<missing>       ");  // as wide as 16 hex digits
        } else {
            for (std::size_t i = 0; i < wwn_bytes; ++i) print("%02x", wwn[i]);
        }
    }
    if (suffix != nullptr) print("%s", suffix);
}

int32_t show_version(const tv_version_info* version) {
    if (version == nullptr) return 0;
    print("HW: \t%x\n", version->hw_rev);
    print("PROM: \t%x\n", version->prom_rev);
    print("FLASH: \t%x\n", version->flash_rev);
    print("WWN:\t");
    show_wwn(version->wwn, "\n");
    print("MAC:\t");
    for (std::size_t i = 0; i < mac_bytes; ++i) print("%02x", version->mac[i]);
    print("\n");
    return 0;
}

int32_t show_chassis_status(const tv_chassis_status* status) {
    if (status == nullptr) return 0;
    print("Power:\t");
    print_status(status->power_status);
    print("Temp:\t");
    print_status(status->temp_status);
    print("Temp =\t%1.1fc\n", status->temperature * 0.5);
    print("Fan 1:\t");
    print_fan_status(status->fan1_status);
    print("Fan 2:\t");
    print_fan_status(status->fan2_status);
    print("Ports:\t%d\n", status->num_ports);
    // The record holds at most TV_MAX_GBIC transceivers, whatever count it claims.
    const int listed = std::min<int>(status->num_ports, TV_MAX_GBIC);
    for (int i = 0; i < listed; ++i) {
        print("GBIC %d:\t", i + 1);
        print_gbic(status->gbic_type[i]);
    }
    return 0;
}

void show_sysconfig(const tv_sysconfig* cfg) {
    if (cfg == nullptr) return;
    print("Uptime:\t%ds\n", static_cast<int>(cfg->uptime / 100));
    // Bounded by the field, in case the switch sent no terminating NUL.
    print("Desc:\t%.*s\n", static_cast<int>(sizeof cfg->description), cfg->description);
}

}  // extern "C"
