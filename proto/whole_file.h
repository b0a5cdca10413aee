// Reading a whole input file with a limit: the tool's input files, the simulator's fabric files,
// the exporter's password file. Only a regular file is read: a character device (/dev/zero), a
// FIFO or a directory is refused before a byte is read, and opening never waits (a FIFO without
// a writer). The size is checked before reading and again while reading, so that a file that
// grows meanwhile is still held to the limit and never more than the limit is taken in.
//
// It sits in the protocol core because that is the one layer the simulator shares with the
// library and the tool; it holds no state.
#pragma once

#include <cstdint>
#include <string>

namespace tv {

enum class file_fault : std::uint8_t {
    none,
    cannot_open,  // `error` says why (ENOENT, EACCES, ...)
    not_regular,  // a device, a FIFO, a directory, a socket
    too_large,    // more than the limit, by its size or by what was read
    cannot_read,  // `error` says why
};

struct whole_file {
    file_fault fault = file_fault::none;
    int error = 0;  // the C library's error number of cannot_open and cannot_read
    std::uint32_t mode = 0;  // the permission bits of the file, once it was opened
    std::string text;

    explicit operator bool() const { return fault == file_fault::none; }
};

whole_file read_whole_file(const char* path, std::uint64_t limit);

// Why a file was not read, in a few words: "not a regular file", "larger than 65536 bytes",
// "cannot be read: " and the system's text of the error.
std::string file_fault_text(const whole_file& f, std::uint64_t limit);

// For a file of secrets, read or not: "others than its owner may read or change it (mode
// 0644); chmod 600 PATH" when its mode lets them, else empty.
std::string open_to_others(const whole_file& f, const std::string& path);

}  // namespace tv
