// The shape every diagnostic entry point shares, said once: check the IP text, record the
// call in the globals, choose the local port, open the context, point it at the target switch,
// read the port count, run the entry point's own operations and close the context exactly
// once, taking the status before the close (closing resets tv_api_errno).
//
//     return tvlsw::run({fcaddr, udpport, ip}, [&](tvlsw::session& s) {
//         return tv_get_version(s.ctx(), version);
//     });
#pragma once

#include <cstdint>

#include "telvar/sanwrapper.h"

namespace tvlsw {

// Where the IP text is checked: first of all (nothing touched on a refusal), after the call
// was recorded in the globals, or not at all (the text goes straight to tv_opencontext).
enum class ip_check { first, after_recording, none };

struct call {
    uint32_t fcaddr;
    uint32_t udpport;
    const char* ip;
    ip_check check = ip_check::first;
    // Nonzero: returned once the IP check passed, before anything else is touched (a state or
    // type word outside its list, a null record).
    int32_t refused = 0;
    // The version query reads no port count: g_logincmd is raised over the open.
    bool version_only = false;
};

// What a port text comes to when the context is open.
enum class bad_port_text { minus_one, usage };
enum class range_message { print, silent };

struct port_arg {
    bool ok;
    int32_t value;  // the wire port (or TV_ALL_PORTS) when ok, else the result to return
};

// The open context of one entry point.
class session {
public:
    explicit session(tv_context* ctx) : ctx_(ctx) {}
    session(const session&) = delete;
    session& operator=(const session&) = delete;
    ~session() { close(); }

    tv_context* ctx() const { return ctx_; }

    // The port text against Max_Ports: a number 1 to Max_Ports is wire port n - 1, "all" is
    // TV_ALL_PORTS. A number out of range gives 503 (with "bad port number: %d\n" on standard
    // error unless silent); any other text -1, or with `usage` closes the context, prints the
    // usage text and ends the process.
    port_arg port(const char* text, bad_port_text on_bad, range_message message = range_message::print);

    // The context outlives the call: the host owns it from now on.
    tv_context* keep() {
        tv_context* kept = ctx_;
        ctx_ = nullptr;
        return kept;
    }
    // Closes the context (once; later calls do nothing) and returns `status`, taken before.
    int32_t finish(int32_t status) {
        close();
        return status;
    }

private:
    void close();
    tv_context* ctx_;
};

// The prologue: 0 with an open context in `ctx`, else the result to return (nothing open).
int32_t open_call(const call& c, tv_context*& ctx);

// Records the call in g_remotefcaddr and g_tvlsw_udpport.
void record_call(uint32_t fcaddr, uint32_t udpport);

// The prologue, the entry point's own operations (`body`, returning the status code they left)
// and the epilogue.
template <class Body>
int32_t run(const call& c, Body&& body) {
    tv_context* ctx = nullptr;
    if (const int32_t code = open_call(c, ctx); code != TV_OK) return code;
    session s{ctx};
    return s.finish(body(s));
}

// 301 when any of the pointers is null: what every entry point answers for a missing record.
template <class... P>
int32_t refuse_null(const P*... records) {
    return ((records == nullptr) || ...) ? TV_ERR_PARAM : TV_OK;
}

}  // namespace tvlsw
