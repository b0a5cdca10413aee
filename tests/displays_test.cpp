// The display functions: whole printed reports compared with the exact expected text, codes
// outside the name tables and counts beyond a record included.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "support/command_output.h"
#include "support/saved_globals.h"

namespace {

class displays : public ::testing::Test {
protected:
    tvtest::saved_globals globals_;
    tvtest::captured_output out;
};

// A version with every field set is compared whole by the tool's end-to-end tests.
TEST_F(displays, version_record_without_a_wwn) {
    const tv_version_info v{};
    EXPECT_EQ(0, show_version(&v));
    EXPECT_EQ("HW: \t0\nPROM: \t0\nFLASH: \t0\nWWN:\t<missing>       \nMAC:\t000000000000\n", out.take());
}

// The usual report is compared whole by the tool's end-to-end tests; here the unusual values.
TEST_F(displays, chassis_status_with_unusual_values) {
    tv_chassis_status s{};
    s.power_status = 9;
    s.temp_status = 1;
    s.temperature = -3;
    s.fan1_status = 1;
    s.fan2_status = -2;
    EXPECT_EQ(0, show_chassis_status(&s));
    EXPECT_EQ(
        "Power:\tUnrecognized status (9)\nTemp:\tFAILED\nTemp =\t-1.5c\nFan 1:\tFAILED\n"
        "Fan 2:\tUnrecognized status (-2)\nPorts:\t0\n",
        out.take());

    s.num_ports = 255;  // more than the record holds: only its transceivers are listed
    show_chassis_status(&s);
    const std::string text = out.take();
    EXPECT_NE(std::string::npos, text.find("Ports:\t255\n"));
    EXPECT_NE(std::string::npos, text.find("GBIC 84:\t"));
    EXPECT_EQ(std::string::npos, text.find("GBIC 85:\t"));
}

// The usual uptime and description: the tool's end-to-end tests; here the extremes.
TEST_F(displays, system_information_in_whole_seconds) {
    tv_sysconfig cfg{};
    cfg.uptime = 0xFFFFFFFF;                                     // unsigned division
    std::memset(cfg.description, 'x', sizeof cfg.description);  // no terminating NUL
    show_sysconfig(&cfg);
    EXPECT_EQ("Uptime:\t42949672s\nDesc:\t" + std::string(64, 'x') + "\n", out.take());
}

TEST_F(displays, port_state_of_one_port_and_of_all) {
    std::array<tv_port_state_entry, 3> entries{{{1, 1}, {2, 0}, {9, 5}}};
    const tv_port_state state{entries.size(), entries.data()};
    EXPECT_EQ(0, show_port_state(&state, 1));
    show_port_state(&state, 3);  // beyond the record: nothing
    show_port_state(&state, TV_ALL_PORTS);
    EXPECT_EQ(
        "Port: 2\tAdmin:   sl, Operational:  off\n"
        "Port: 1 \tAdmin:   on, Operational:   on\n"
        "Port: 2 \tAdmin:   sl, Operational:  off\n"
        "Port: 3 \tAdmin: invalid, Operational: Unrecognized (9)\n",
        out.take());
}

TEST_F(displays, mfs_modes_of_one_port_and_of_all_ports) {
    std::array<uint8_t, 4> bytes{0, 6, 4, 0xFF};
    const tv_port_mfs_modes modes{bytes.size(), bytes.data()};
    EXPECT_EQ(0, show_port_mfs_modes(2, &modes));
    Max_Ports = 2;  // all ports are the switch's ports, not the record's count
    show_port_mfs_modes(TV_ALL_PORTS, &modes);
    EXPECT_EQ(
        "Port:   3 Mode: 4 Max of 8 Frames Transmitted per Loop Tenancy\n"
        "Port:   1 Mode: 0 MFS disabled\n"
        "Port:   2 Mode: 6 Max of 128 Frames Transmitted per Loop Tenancy\n",
        out.take());

    Max_Ports = 16;  // but never past the record
    show_port_mfs_modes(4, &modes);
    show_port_mfs_modes(TV_ALL_PORTS, &modes);
    EXPECT_EQ(
        "Port:   1 Mode: 0 MFS disabled\n"
        "Port:   2 Mode: 6 Max of 128 Frames Transmitted per Loop Tenancy\n"
        "Port:   3 Mode: 4 Max of 8 Frames Transmitted per Loop Tenancy\n"
        "Port:   4 Mode: -1 Unrecognized (-1)\n",
        out.take());
}

// The usual name-server and initiator reports are compared whole by the tool's end-to-end
// tests; here the codes outside the name tables and the empty table.
TEST_F(displays, name_server_types_outside_the_tables) {
    std::array<tv_nameserver_entry, 2> e{};
    e[0].port_type = 0x82;
    e[0].fc4_types[0] = 1u << 8;
    e[0].fc4_types[1] = 1u << 0;  // type 32 as well: the lowest is named
    e[1].port_type = 0x7F;
    e[1].fc4_types[2] = 1u << 29;  // type 93 alone
    tv_nameserver_list list{2, e.data()};
    show_nameserverinfo(&list);
    list.count = 0;
    show_nameserverinfo(&list);
    const std::string head =
        "Port  Address  Type  Port and Node WWN                   FC-4 Types\n"
        "----  -------  ----  ----------------------------------  ----------------------\n";
    EXPECT_EQ(head + "00    000000   FL    <missing>         <missing>         SCSI_FCP\n"
                     "00    000000   ??    <missing>         <missing>         Fabric Controller\n" +
                  head + "Database is empty\n",
              out.take());
}

}  // namespace
