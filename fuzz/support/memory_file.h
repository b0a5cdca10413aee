// A file that lives in memory under a path that the tool's readers open as any other (a
// regular file, as they require): how a harness hands a document to a command that reads it
// by name, without touching a disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <span>
#include <string>

namespace fuzz {

class memory_file {
public:
    memory_file() : fd_(::memfd_create("fuzz-document", MFD_CLOEXEC)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
    ~memory_file() {
        if (fd_ >= 0) ::close(fd_);
    }
    memory_file(const memory_file&) = delete;
    memory_file& operator=(const memory_file&) = delete;

    explicit operator bool() const { return fd_ >= 0; }
    // Makes `bytes` the whole of the file; false when it could not.
    bool hold(std::span<const std::uint8_t> bytes) {
        if (::ftruncate(fd_, 0) != 0) return false;
        return bytes.empty() || ::pwrite(fd_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    }
    char* path() { return path_.data(); }

private:
    int fd_;
    std::string path_;
};

}  // namespace fuzz
