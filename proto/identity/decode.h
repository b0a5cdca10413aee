// Layout of the identity and chassis-status responses, and the plain functions that read them.
//
// The readers take the message as a span and go through wire.h, so they are safe on any bytes;
// the operations in identity.cpp call them on their fixed-size buffers and the fuzz harness on
// arbitrary input. Counts taken from a message are bounded here by the room of the message and
// of the record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "proto/identity/layout.h"
#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tv {


// A firmware revision made comparable: a trailing letter digit (A-F) is dropped, then only the
// low 20 bits count.
constexpr std::int32_t normalised_revision(std::int32_t revision) {
    if ((revision & 0xF) > 9) revision >>= 4;  // arithmetic shift: the sign is kept
    return revision & 0xFFFFF;
}

void decode_version(wire::cbytes resp, tv_version_info& out);

// Model code 0 to 3, or 255 for anything larger.
std::uint32_t decode_model(wire::cbytes resp);

// Every field of the chassis-status record except sensor_status. num_ports is bounded by the
// room of gbic_type and by the transceiver bytes the message holds before its checksum.
void decode_chassis_status(wire::cbytes resp, tv_chassis_status& out);

// The sensor state (-1 not determined, 0 OK, 1 failed) from a sensor response; which state
// codes mean OK and failed depends on the switch's firmware revision.
std::int8_t decode_sensor_status(wire::cbytes resp, std::uint32_t flash_rev);

// Uptime and the three texts, each terminated within its 64 bytes.
void decode_sysconfig(wire::cbytes resp, tv_sysconfig& out);

}  // namespace tv
