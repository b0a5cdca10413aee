// Bounded reading of a whole input file (whole_file.h).
#include "proto/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "proto/unique_fd.h"

namespace tv {

whole_file read_whole_file(const char* path, std::uint64_t limit) {
    whole_file f;
    const auto fail = [&](file_fault fault, int error = 0) {
        f.fault = fault;
        f.error = error;
        f.text.clear();
        return std::move(f);
    };
    // O_NONBLOCK: opening a FIFO with no writer must not wait; it is refused just below.
    const unique_fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) return fail(file_fault::cannot_open, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(file_fault::cannot_read, errno);
    f.mode = st.st_mode & 07777;
    if (!S_ISREG(st.st_mode)) return fail(file_fault::not_regular);
    if (static_cast<std::uint64_t>(st.st_size) > limit) return fail(file_fault::too_large);
    f.text.reserve(static_cast<std::size_t>(st.st_size));
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(file_fault::cannot_read, errno);
        if (n == 0) return f;
        if (f.text.size() + static_cast<std::size_t>(n) > limit) return fail(file_fault::too_large);
        f.text.append(buffer.data(), static_cast<std::size_t>(n));
    }
}

std::string file_fault_text(const whole_file& f, std::uint64_t limit) {
    switch (f.fault) {
        case file_fault::none: return {};
        case file_fault::not_regular: return "not a regular file";
        case file_fault::too_large: return "larger than " + std::to_string(limit) + " bytes";
        case file_fault::cannot_open:
        case file_fault::cannot_read: return std::string("cannot be read: ") + std::strerror(f.error);
    }
    return {};
}

std::string open_to_others(const whole_file& f, const std::string& path) {
    if ((f.mode & 077) == 0) return {};
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(f.mode & 07777));
    return std::string("others than its owner may read or change it (mode ") + mode + "); chmod 600 " + path;
}

}  // namespace tv
