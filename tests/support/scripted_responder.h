// A scripted switch for tests of the exchange: a UDP socket bound to a loopback address of the
// test's own at port 5000 that answers each request as the test scripts it, and records every
// datagram it received.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tvtest {

using bytes = std::vector<std::uint8_t>;

// What to do with one request.
struct step {
    enum class kind { answer, silent, short_datagram, bad_checksum };
    kind what = kind::answer;
    int delay_ms = 0;                 // answer this much later
    std::int32_t seq_delta = 0;       // answer with the request's sequence number + delta
    std::uint8_t status = 0;          // status byte of the answer
    bool stale_first = false;         // send an answer with an older sequence number first
    bool short_first = false;         // send a 10-byte datagram first
    int command = -1;                 // the answer's command field, when not the request's
    int length_delta = 0;             // added to the answer's length field
    bool from_other_port = false;     // sent from another UDP port of the same address
    int repeat = 0;                   // copies sent after the answer,
    int repeat_every_ms = 0;          // one every so many milliseconds
    bytes payload;                    // bytes from offset 16 of the answer (before the checksum)
};

inline step answer(bytes payload = {}) {
    step s;
    s.payload = std::move(payload);
    return s;
}
inline step silent() {
    step s;
    s.what = step::kind::silent;
    return s;
}

class scripted_responder {
public:
    explicit scripted_responder(const std::string& ip, std::uint16_t port = 5000);
    ~scripted_responder();
    scripted_responder(const scripted_responder&) = delete;
    scripted_responder& operator=(const scripted_responder&) = delete;

    // Steps for the next requests, in order; once they are used up, `fallback` applies.
    void script(std::vector<step> steps);
    void set_fallback(step s);

    std::vector<bytes> received() const;
    std::size_t count() const;
    // Waits (bounded) until at least n datagrams arrived; returns whether they did.
    bool wait_for(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(2)) const;
    // Sends a datagram of its own to `to` (unsolicited messages for tv_listen).
    void send_to(const sockaddr_in& to, const bytes& datagram) const;

    // An answer to `request` as a step describes it, checksum included.
    static bytes make_answer(const bytes& request, const step& s);

private:
    struct pending {
        std::chrono::steady_clock::time_point due;
        sockaddr_in to;
        bytes datagram;
        bool other_port = false;
    };
    void run();
    void handle(const bytes& request, const sockaddr_in& from);

    int sock_ = -1;
    int other_sock_ = -1;  // the same address, a port of the system's choice
    int stop_pipe_[2] = {-1, -1};
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    std::deque<step> steps_;
    step fallback_ = silent();
    std::vector<bytes> received_;
    std::vector<pending> pending_;
    std::thread thread_;
};

}  // namespace tvtest
