// The check every unsolicited message we take passes in strict mode, for the programs that
// receive such messages on sockets of their own (the watcher's trap receiver): the third of the
// internal headers open to them, beside command_support.h and lanes.h. One check, so that a
// listener of the library and a receiver of a program never disagree on what a whole message is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "proto/wire.h"

namespace tv {

// Why a datagram is not a whole message of the command awaited.
enum class message_fault {
    none,
    length,    // shorter than a header and checksum, longer than read, or its length field lies
    command,   // another command in the header
    checksum,  // the checksum does not match
};

// `length` is the datagram's whole length as it arrived, `msg` the part that was read (at
// most that long); `command` -1 takes any. An all-zero datagram (whose checksum of 0 matches)
// fails on its length field. The header's status byte is the caller's to judge.
message_fault whole_message_fault(std::size_t length, wire::cbytes msg, std::int32_t command);

}  // namespace tv
