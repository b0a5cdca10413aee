// Reads side by side across the switches of a fabric, for the command layer: the second of the
// two internal headers it may use (with command_support.h).
//
// A real switch's management processor answers one request at a time, in about a millisecond,
// so a fabric-wide read that asks one switch after another leaves all but one idle. Lanes run
// several reads at once, each the ordinary sequential code of the library on a context of its
// own that addresses one switch, and all through the one socket of the caller's context: at
// most one request of each lane is outstanding, and one loop sends them, waits, and hands each
// answer to the lane whose request carries its sequence number.
//
// Each lane runs on a thread of its own, but only one of them (or the loop) runs at any time,
// handing over at each exchange: the library stays as single-threaded as it is, and a lane's
// code reads like the sequential read it replaces. A read of many exchanges that each ask for
// little work (the name server's objects) runs instead as steps on the loop itself, without a
// thread: handing the turn to a thread and back costs more than such a step, and twelve slow
// switches answer a dozen of them every millisecond. An answer is taken exactly as a sequential
// exchange in strict mode takes it (exchange.cpp): the sequence number first, datagrams for no
// outstanding request read past; then sender, length, command, checksum and echoed fields, a
// spoiled answer ending the cycle; the request resent after each fruitless cycle, and the whole
// exchange bounded by its budget and by 1.5 times it in wall-clock time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "telvar/tv_api.h"

namespace tv {

struct exchanged;  // tv_inter.h

// When reads go side by side. Handing the turn between lanes costs some microseconds, which
// pays where a switch takes a millisecond to answer and not where it answers in a few
// microseconds (a simulator on loopback): our programs use lanes where the recent answers took
// long enough. The library's default is never, so that a host (and a test) sees exactly the
// exchanges of the sequential reads.
enum class lanes_mode { never, where_slow, always };
void set_lanes_mode(lanes_mode m);
// Our programs' setting: where_slow, unless TELVAR_READS says sequential (one switch after
// another: the benchmarks' reference, a way round a switch that cannot take the load, and what
// tests that count datagrams need whatever the load of the machine) or side-by-side (however
// fast the switches answer).
void set_lanes_mode_from_environment();
// The answer time from which where_slow uses lanes: well above a loopback simulator's, even
// one slowed by a sanitizer, and below a real switch's millisecond.
inline constexpr std::int64_t slow_answer_us = 800;

// Whether reads through `ctx` go side by side: the mode allows it, strict answers are on (the
// only mode whose acceptance a lane can reproduce) and no walk has to log into the switches one
// by one.
bool lanes_usable(const tv_context* ctx);

class lanes {
public:
    // Lanes over the socket of `ctx`, which must stay open while they run. Each lane's context
    // is a copy of it. At most `at_once` lanes are started and not ended at any time (a read
    // that keeps what lanes ahead of their turn read, or a fabric of a few hundred switches,
    // asks for fewer); the others start in the order they were added.
    explicit lanes(const tv_context& ctx, std::size_t at_once = 64);
    ~lanes();
    lanes(const lanes&) = delete;
    lanes& operator=(const lanes&) = delete;

    // Adds a task, to run on a lane whose context addresses `dest` (an FC address; the default
    // destination gives the switch at the address itself). A task may add others. A task that
    // throws ends its lane; run() throws it again once every lane has ended.
    void add(std::uint32_t dest, std::function<void(tv_context*)> task);
    // Adds a task run on the loop itself rather than on a thread, for a read of many exchanges
    // each of which asks for little work (the name server's objects): handing the turn to a
    // thread and back costs as much as such a step. `step` is given the lane's context and the
    // outcome of its last exchange (none at the start), its answer in the buffer it named, and
    // names the request and the answer buffer of its next exchange (they must last until the
    // next step), or nothing when it is done.
    struct next_exchange {
        std::span<std::uint8_t> req, resp;
    };
    using step_fn = std::function<std::optional<next_exchange>(tv_context*, const exchanged*)>;
    void add_steps(std::uint32_t dest, step_fn step);
    // Runs every task added, including those added meanwhile, to its end.
    void run();

private:
    struct impl;
    std::unique_ptr<impl> p_;
};

// The fabric's name server in address order, as walk_nameserver gives it, read in ranges side
// by side: one range for each switch of `switches` (FC addresses), from its address to the next
// one's (the first from 0, the last to the end), each walked through its own switch with
// "next object" queries. `visit` is given the objects of the ranges in order once they are all
// read; a range whose read failed ends the walk with its status after the objects it gave.
int32_t walk_nameserver_ranges(const tv_context& ctx, std::span<const std::uint32_t> switches,
                               const std::function<bool(const tv_nameserver_entry&)>& visit);

}  // namespace tv
