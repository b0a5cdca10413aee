// The library keeps its settings in process-wide variables, and the tests of one binary share
// the process: a test that changes them (a timeout, strict mode, the -f address, the port
// count, the output stream ...) holds a saved_globals, which puts every one back when it goes,
// also when a failed assertion ends the test early.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>

#include "telvar/sanwrapper.h"
#include "telvar/telvar.h"
#include "telvar/tv_api.h"

namespace tvtest {

// A variable's value when made, put back when it goes.
template <class T>
class kept {
public:
    explicit kept(T& var) : var_(var), value_(var) {}
    ~kept() { var_ = value_; }
    kept(const kept&) = delete;
    kept& operator=(const kept&) = delete;

private:
    T& var_;
    T value_;
};

// An environment variable, set or not, put back when it goes.
class kept_env {
public:
    explicit kept_env(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) value_ = v;
    }
    ~kept_env() {
        if (value_)
            setenv(name_, value_->c_str(), 1);
        else
            unsetenv(name_);
    }
    kept_env(const kept_env&) = delete;
    kept_env& operator=(const kept_env&) = delete;

private:
    const char* name_;
    std::optional<std::string> value_;
};

class saved_globals {
    // The command layer's.
    kept<std::uint32_t> remotefcaddr_{g_remotefcaddr};
    kept<const char*> udpport_{g_udpport}, userid_{g_userid}, pw_{g_pw};
    kept<std::int32_t> logincmd_{g_logincmd}, max_ports_{Max_Ports};
    kept<std::FILE*> fp_{fp};
    // The exchange's.
    kept<std::int32_t> strict_{g_strict_answers}, ip_timeout_{g_ip_timeout}, timeout_{g_timeout};
    kept<std::int32_t> discover_{Discover}, long_poll_{Long_Poll}, api_errno_{tv_api_errno};
    // The diagnostic entry points'.
    kept<std::int32_t> main_{Main};
    kept<std::uint16_t> tvlsw_udpport_{g_tvlsw_udpport};
    // Where the local UDP port comes from when no -port is given.
    kept_env telvarport_upper_{"TELVARPORT"}, telvarport_lower_{"telvarport"};
};

// Descriptors are the process's too: how many are open (the count's own one included, the same
// each time), for tests that everything opened was closed.
inline std::size_t open_descriptors() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator{"/proc/self/fd"}, {}));
}

}  // namespace tvtest
