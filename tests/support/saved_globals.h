// The library keeps its settings in process-wide variables, and the tests of one binary share
// the process: a test that changes them (a timeout, strict mode, the -f address, the port
// count, the output stream ...) holds a saved_globals, which puts every one back when it goes,
// also when a failed assertion ends the test early.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "telvar/sanwrapper.h"
#include "telvar/telvar.h"
#include "telvar/tv_api.h"

namespace tvtest {

class saved_globals {
public:
    saved_globals() = default;
    ~saved_globals() {
        g_remotefcaddr = remotefcaddr_;
        g_udpport = udpport_;
        g_userid = userid_;
        g_pw = pw_;
        g_logincmd = logincmd_;
        Max_Ports = max_ports_;
        fp = fp_;
        tv_set_strict_answers(strict_);
        g_ip_timeout = ip_timeout_;
        g_timeout = timeout_;
        Discover = discover_;
        Long_Poll = long_poll_;
        tv_api_errno = api_errno_;
        Main = main_;
        g_tvlsw_udpport = tvlsw_udpport_;
        restore_env("TELVARPORT", telvarport_upper_);
        restore_env("telvarport", telvarport_lower_);
    }
    saved_globals(const saved_globals&) = delete;
    saved_globals& operator=(const saved_globals&) = delete;

private:
    static std::optional<std::string> env(const char* name) {
        const char* v = std::getenv(name);
        return v != nullptr ? std::optional<std::string>(v) : std::nullopt;
    }
    static void restore_env(const char* name, const std::optional<std::string>& v) {
        if (v)
            setenv(name, v->c_str(), 1);
        else
            unsetenv(name);
    }

    // The command layer's.
    std::uint32_t remotefcaddr_ = g_remotefcaddr;
    const char* udpport_ = g_udpport;
    const char* userid_ = g_userid;
    const char* pw_ = g_pw;
    std::int32_t logincmd_ = g_logincmd;
    std::int32_t max_ports_ = Max_Ports;
    std::FILE* fp_ = fp;
    // The exchange's.
    std::int32_t strict_ = tv_get_strict_answers();
    std::int32_t ip_timeout_ = g_ip_timeout;
    std::int32_t timeout_ = g_timeout;
    std::int32_t discover_ = Discover;
    std::int32_t long_poll_ = Long_Poll;
    std::int32_t api_errno_ = tv_api_errno;
    // The diagnostic entry points'.
    std::int32_t main_ = Main;
    std::uint16_t tvlsw_udpport_ = g_tvlsw_udpport;
    // Where the local UDP port comes from when no -port is given.
    std::optional<std::string> telvarport_upper_ = env("TELVARPORT");
    std::optional<std::string> telvarport_lower_ = env("telvarport");
};

}  // namespace tvtest
