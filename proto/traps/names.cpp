// The names of the 32 trap codes and of the two alert directions, as a trap event reports them.
// Exported tables, so that hosts print the same words as the tool and the dissector.
#include "telvar/traps.h"

extern "C" {

const char* const trap_types[TV_TRAP_CODES] = {
    "Switch Power Up",
    "Power Supply Failure",
    "Overheat Threshold Failure",
    "Overwarm Threshold Failure",
    "Fan Failure - (M3 specific)",
    "Internal processes completely congested",
    "Internal processes overly congested",
    "reserved for later use",
    "reserved for later use",
    "Port Login",
    "Port Logout",
    "Fibre Port CRC Error",
    "Fibre Port Loss of Sync",
    "Fibre Port Decode Error",
    "Fibre Port Framing Error",
    "Fibre Port Smoothing Overflow Error",
    "FL_Port Loop Initialization Count (LIP)",
    "FL_Port AL Init Failure",
    "FL_Port Not initialized as Master",
    "Congestion - N/NL-Port Response Timeout",
    "Internal H/W - (LIF FIFO) Flow Control Error",
    "Internal H/W - Fibre Port Data Out Parity Error",
    "Internal H/W - Class 1 hardware Error",
    "From fcFPortAddressIdErrors: assigned 12-05-00rvk",
    "fcFPortC2Discards + fcFPortC3Discards:12-05-00rvk",
    "reserved for later use",
    "Congestion - Frame Bus Timeout Error",
    "Internal H/W - Frame Bus Hardware Error",
    "reserved for later use",
    "K9 ASIC - Control Port CRC Error",
    "K9 ASIC - Control Port Parity Error",
    "reserved for later use",
};

const char* const trap_alert_types[2] = {"rising", "falling"};

}  // extern "C"
