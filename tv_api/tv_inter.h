// Internal declarations of the library, shared by its .cpp files and the tests. Not installed.
// The command layer and the entry points see only command_support.h; the simulator sees only
// the protocol core (proto/).
//
// The C++ core below returns status codes; it never reads or writes tv_api_errno. Each C entry
// point calls the core and publishes the outcome once, with publish(), so the core never calls
// back into the C interface to get work done.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <netinet/in.h>
#include <unistd.h>

#include "proto/header.h"
#include "proto/unique_fd.h"
#include "proto/wire.h"
#include "telvar/tv_api.h"
#include "tv_api/command_support.h"

namespace tv {

// Stores a status code in tv_api_errno and returns it: the last step of every C entry point.
inline int32_t publish(int32_t code) {
    tv_api_errno = code;
    return code;
}

// The protocol module's log stream (null: silent). Distinct from the command layer's `fp`.
std::FILE* log_stream();
void set_log_stream(std::FILE* stream);

// ---- Framing ----

// The cores of tv_set_dest_addr and tv_restore_dest_addr (ctx not null): previous_dest_addr
// keeps the destination being replaced, and only bits 12 to 23 of an address are kept.
uint32_t set_dest_addr(tv_context* ctx, uint32_t fc_addr);
uint32_t restore_dest_addr(tv_context* ctx);

// Writes the header of a message of `total_len` bytes at the start of `msg` (the core of
// tv_msg_hdr): the context's destination, the command and the next sequence number.
void write_header(tv_context* ctx, wire::bytes msg, std::uint16_t command, std::size_t total_len);
// ---- Transport ----

// Sends one datagram to the context's switch, retrying on ENOBUFS (the core of tv_send).
// Returns the bytes sent or -1.
int32_t send_datagram(tv_context* ctx, wire::cbytes msg);
// Receives one datagram that is waiting, cut to buf.size() (the core of tv_recv); the byte
// count or -1.
int32_t recv_datagram(tv_context* ctx, wire::bytes buf);
// Waits until a datagram is waiting on the context's socket, for at most `timeout_ms` (0 or
// less: only looks). 1: one is waiting, 0: timed out, -1: the wait failed.
int wait_for_datagram(tv_context* ctx, int timeout_ms);
// Reads the datagram that is waiting, without waiting, with its sender: its whole length (the
// part beyond buf.size() is cut), or -1 with errno set.
ssize_t receive_whole(tv_context* ctx, wire::bytes buf, sockaddr_in& from);
// One wait for a datagram and, when one comes, its read, in a single blocking receive: the
// exchange's hot path. Waits as long as poll_sock would, and never past `limit_ms` when it is
// not negative. Returns 1 with the datagram's length in `received`, 0 when the wait timed out,
// -1 when it failed. With `from`, also gives the sender and the datagram's whole length (which
// may exceed the capacity: the rest is cut).
int wait_and_recv(tv_context* ctx, void* buf, int32_t capacity, int32_t& received,
                  sockaddr_in* from = nullptr, int limit_ms = -1);
// The length of one wait for a datagram in milliseconds, as poll_sock waits: 2 s in long-wait
// mode, 60 ms in discovery mode, else g_ip_timeout.
int wait_length_ms();
// Forgets what wait_and_recv knows of a socket that is being opened or closed.
void forget_socket(int sock);
// Sleeps for `microseconds` (below one second).
void pause_us(int32_t microseconds);

// ---- Contexts ----

// The core of tv_opencontext: a new context, or null with the reason in `status`.
tv_context* open_context(const char* host, int32_t local_port, int32_t& status);
// Closes the socket and releases the record; -1 when closing the socket failed.
int32_t close_context(tv_context* ctx);

// ---- Exchange ----

// What an exchange ended with: the length of the matching response (0, or -1 when the last
// send, wait or read failed) and the status code.
struct exchanged {
    int32_t length = 0;
    int32_t status = TV_ERR_NO_RESPONSE;
    bool ok() const { return status == TV_OK; }
};

// The core of tv_exchange on a request of req.size() bytes whose header is written; fills its
// checksum. The response buffer is not cleared first. In strict mode an answer must be at least
// `min_answer` bytes long; 0 asks for the whole response buffer (answers of a fixed length).
exchanged exchange_message(tv_context* ctx, wire::bytes req, wire::bytes resp,
                           std::size_t min_answer = 0);
// The budget of one exchange in the estimated milliseconds its cycles count (see exchange.cpp).
int64_t exchange_budget();
// Whether a datagram that carries the request's sequence number is the switch's well-formed
// answer to `req`, as strict mode asks: from where the request went, the length its header
// gives, the request's command, a right checksum, the echoed fields, and at least `min_answer`
// bytes unless it is a refusal. `length` is the datagram's whole length, `msg` what was read.
bool answer_acceptable(const tv_context& ctx, wire::cbytes req, const sockaddr_in& from,
                       std::size_t length, wire::cbytes msg, std::size_t min_answer);

// Where the exchanges of a thread go instead of the socket: set on the threads of a side-by-side
// read (lanes.cpp), which make each exchange through the one loop that owns the socket. The
// module buffers of the operations are per thread for the same reason: a read suspended in the
// middle of an operation finds them as it left them.
struct lane_exchanger {
    virtual exchanged exchange(tv_context* ctx, wire::bytes req, wire::bytes resp,
                               std::size_t min_answer) = 0;

protected:
    ~lane_exchanger() = default;
};
extern thread_local lane_exchanger* current_lane;

// Clears `resp` and exchanges `req` for it.
exchanged exchange(tv_context* ctx, wire::bytes req, wire::bytes resp, std::size_t min_answer = 0);
// Exchanges the first `req_len` bytes of `buf` for an answer into `buf` itself, as module
// buffers that are their own answer do; the request goes out from a copy, so every retry sends
// the same bytes. On success the bytes the answer did not reach are zeroed, so that nothing the
// buffer held before is read as part of the answer.
exchanged exchange_in_place(tv_context* ctx, wire::bytes buf, std::size_t req_len);

// Exchanges `msg` with itself as the answer buffer, as the module-static messages that are
// read, edited and sent back are. The request goes out from a copy, so that a stale datagram
// read into the buffer is never what a resend carries. At most 516 bytes.
inline exchanged exchange_in_place(tv_context* ctx, wire::bytes msg) {
    std::array<std::uint8_t, 516> req{};
    if (msg.size() > req.size()) return {0, TV_ERR_PARAM};
    std::copy(msg.begin(), msg.end(), req.begin());
    return exchange_message(ctx, wire::bytes{req.data(), msg.size()}, msg);
}

// Clears `msg` and writes the header of a request of msg.size() bytes.
void build_request(tv_context* ctx, wire::bytes msg, std::uint16_t command);
// Clears `msg` and writes the header of a configuration request (command 0x30) and its
// sub-command word at offset 16.
void build_config_request(tv_context* ctx, wire::bytes msg, std::uint32_t subcmd);

// The common shape of a configuration read: a request of ReqLen bytes with `subcmd`, an answer
// of RetLen bytes, and `decode` run on the answer when the exchange succeeded. Returns the
// exchange's status.
template <std::size_t ReqLen, std::size_t RetLen, class Decode>
int32_t config_query(tv_context* ctx, std::uint32_t subcmd, Decode&& decode) {
    std::array<std::uint8_t, ReqLen> req;
    std::array<std::uint8_t, RetLen> resp;
    build_config_request(ctx, req, subcmd);
    const exchanged x = exchange(ctx, req, resp);
    if (x.ok()) decode(wire::cbytes{resp});
    return x.status;
}

// What strict mode has read past since the process started: datagrams that did not carry the
// sequence number of the request being exchanged (`stale`), and answers that did but failed a
// check of their content (`spoiled`, which tv_get_discarded_answers reports).
struct read_past_counts {
    std::uint32_t stale = 0;
    std::uint32_t spoiled = 0;
};
read_past_counts answers_read_past();
// The shortest time of the last few answered exchanges, in microseconds (0 before any).
std::int64_t recent_answer_us();
// Counts a datagram read past: stale, or spoiled (an answer with the right number that failed a
// check).
void count_read_past(bool spoiled);

// What strict mode asks of an unsolicited message before it is taken. Whatever fails is read
// past within the time limit and counted (tv_get_dropped_unsolicited).
struct listen_rules {
    bool same_port = false;  // from the context's remote port too, not only its address
    bool whole = false;      // length field matches what arrived, right checksum, not all zero
    int32_t command = -1;    // the header's command; -1 takes any
};

// The core of tv_listen. Outside strict mode (or without rules) the first datagram that
// arrives is taken, whoever sent it.
int32_t listen_message(tv_context* ctx, wire::bytes buf, int32_t timeout_ms,
                       const listen_rules* rules = nullptr);

// ---- Operations that other operations build on ----

// A bare 24-byte request of `command` with `subcmd` at offset 16, answered into the same
// module-static buffer (m_simple_subcmd); returns the exchange's status.
int32_t simple_subcmd(tv_context* ctx, std::uint16_t command, std::uint32_t subcmd);
// simple_subcmd for the configuration command (the core of tv_simple_config_cmd).
int32_t simple_config_cmd(tv_context* ctx, std::uint32_t subcmd);

int32_t get_version(tv_context* ctx, tv_version_info& version);
int32_t get_port_types(tv_context* ctx, tv_port_types& types);
// The port-state vector of the switch, left in its module-static response (read with
// ports_decode.h) until the next port-state query: the core of tv_get_port_state(ctx, null).
int32_t refresh_port_state(tv_context* ctx);
wire::cbytes port_state_response();
// The port count of the switch in `count` (-1 when it cannot be read); returns the status.
int32_t get_num_of_ports(tv_context* ctx, int32_t& count);
// The switch's network settings (the core of tv_get_net_config): `net` is cleared, then filled
// when the exchange succeeds; returns the status.
int32_t get_net_config(tv_context* ctx, tv_net_config& net);
// Loads a firmware image from an open file (the core of tv_codeload); nullopt when nothing was
// sent (an empty file), else the status.
std::optional<int32_t> codeload(tv_context* ctx, std::FILE* file, std::uint32_t length);

// The topology table and the loop status of a port, each left in its module-static response
// (read with topology_decode.h) until the next call.
int32_t get_topology(tv_context* ctx, std::uint8_t port);
wire::cbytes topology_response();
int32_t get_al_port_status(tv_context* ctx, std::uint32_t port);
wire::cbytes al_port_status_response();
// The name-server object at port_id into a zeroed entry; 301 when there is none.
int32_t get_nameserverentry(tv_context* ctx, std::uint32_t port_id, tv_nameserver_entry& entry);
// The initiator table into a zeroed record.
int32_t get_initiators(tv_context* ctx, tv_initiators& initiators);
// ---- Small helpers ----

}  // namespace tv
