// The walk over a fabric's links that the snapshot and the exporter share: which switches are
// reached, through which links, and what they answered to the two reads every visit is built
// on, the identity and the links.
//
// Breadth first from one switch: each switch is reached once by its chassis number, in the
// order its links were first met, and addressed through the one context by its FC address.
// The walk sends nothing of its own: a visit reads the identity and the links when its owner
// asks, in the owner's order (the exporter logs in between the two), and only the far ends of
// a visit's links read lead the walk on. A visit that does not read its links ends that branch.
//
// Logins. Switches that require one refuse all but their identity without it, and a login is
// the switch's own, not the fabric's. So where the context requires a login (login_required,
// as the tool's does with -u and the exporter's with --user), the walk logs into every switch
// it reads with the context's credentials, once, and out of them all when it ends. A switch
// is logged into when it is visited, and also as soon as a links read names it as a far end
// that answered, since reads of a switch reach its neighbours (a T_Port's status reads the far
// switch's network settings). The switch the context was logged into when the walk began (the
// start) is its owner's to log out of. Without a login the walk adds no exchange.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "proto/topology/layout.h"
#include "telvar/data/deflated_text.h"
#include "telvar/tv_api.h"

namespace telvar::fabric {

using tv::layout::topology::chassis_of;
using tv::layout::topology::switch_addr_of;

struct walk_options {
    // Follow the links. Without, the walk is the one switch at the start.
    bool follow_links = true;
    // A links read that ended in a failure (a far end that did not give its identity is the
    // usual one) still leads on to the far ends it listed.
    bool follow_failed_links = false;
    // Side by side: at most this many visits at once (their texts wait for their turn in memory).
    std::size_t at_once = 64;
};

// Gives the context the credentials a walk logs into each switch with, and marks it as
// requiring a login; nothing is sent. Texts longer than 8 characters are cut, as a login cuts
// them.
void use_login(tv_context* ctx, const char* user, const char* password);

// The logins of one walk, by chassis number: each switch is tried once (a switch that refused
// or did not answer is not asked again), and every login made is ended by log_out_all.
class walk_logins {
public:
    // Active when the context requires a login; the context counts as logged into the switch
    // it addresses when it also has a login stamp (its owner logged in before the walk).
    explicit walk_logins(tv_context* ctx);
    walk_logins(const walk_logins&) = delete;
    walk_logins& operator=(const walk_logins&) = delete;

    bool owner_logged_in() const { return owners_; }
    // The switch at `address` is the one the owner logged into.
    void adopt(std::uint32_t address);
    // Logs into the switch at `address` (none: the one the context addresses), through the
    // context and back to where it pointed; the status of its one attempt (TV_OK when no
    // login is needed).
    int32_t log_in(std::optional<std::uint32_t> address);
    // Whether the walk logged into the switch and is to log out of it.
    bool holds(std::optional<std::uint32_t> address) const;
    // Leaves the switch's login to the owner, or forgets it (a switch that stopped answering).
    void hand_over(std::optional<std::uint32_t> address);
    // Logs out of every switch logged into and not handed over. tv_api_errno and, when the
    // owner is logged in, the context's login stamp stay as they were.
    void log_out_all();

private:
    struct session {
        std::uint32_t dest;  // where the login went
        int32_t status;
        bool ours;  // made by the walk, to be ended by it
    };
    static int key(std::optional<std::uint32_t> address) { return address ? chassis_of(*address) : -1; }

    tv_context* ctx_;
    bool active_;
    bool owners_;
    std::map<int, session> sessions_;
};

// One switch the walk has reached, for the time of its visit; the context addresses it.
class visit {
public:
    // `owners_start`: this is the start, and the owner is logged into it.
    visit(tv_context* ctx, std::optional<std::uint32_t> address, const walk_options& o, walk_logins& logins,
          bool owners_start = false)
        : ctx_(ctx), address_(address), o_(o), logins_(logins), owners_start_(owners_start) {}
    ~visit() { tv_free_switch_links(&links_); }
    visit(const visit&) = delete;
    visit& operator=(const visit&) = delete;

    tv_context* ctx() const { return ctx_; }
    // The switch's FC address (domain and chassis); 0 until its identity is read when the walk
    // started at the context's own destination.
    std::uint32_t address() const { return address_.value_or(0); }
    bool address_known() const { return address_.has_value(); }

    // Reads the switch's version record; returns its status. A switch reached through the
    // context's own destination learns its address here and, when links are followed, is
    // addressed by it from then on, as every other switch of the walk is.
    int32_t read_identity(tv_version_info& v);

    // Logs into the switch where the context requires a login (once in the walk); returns the
    // status. read_links does it for its owner.
    int32_t log_in() { return logins_.log_in(address_); }
    // Whether the walk is logged into the switch and will log out of it at its end.
    bool logged_in() const { return logins_.holds(address_); }
    // Leaves the switch's login to the owner (or to nobody: one that stopped answering); the
    // walk does not log out of it.
    void hand_over_login() { logins_.hand_over(address_); }

    // Reads the switch's links and hands their far ends to the walk, logging into those that
    // answered; returns the status of the read (or of the login it needs). Reading links moves
    // the context along them: it addresses this switch again after (once its address is
    // known: read the identity first).
    int32_t read_links();
    // What the links read listed (count 0 until read); valid for the visit.
    const tv_switch_links& links() const { return links_; }
    // Whether the read produced a list, even one whose last far end did not answer.
    bool links_listed() const { return links_.links != nullptr; }

    // The far ends to go on to (switch addresses, in the order of the links).
    const std::vector<std::uint32_t>& next() const { return next_; }
    // Called once the far ends are known (after a read of the links, whatever its outcome): a
    // walk side by side goes on to them from there, not from the end of the visit.
    void when_links_read(std::function<void()> f) { links_read_ = std::move(f); }

private:
    tv_context* ctx_;
    std::optional<std::uint32_t> address_;
    const walk_options& o_;
    walk_logins& logins_;
    bool owners_start_;
    tv_switch_links links_{};
    std::vector<std::uint32_t> next_;
    std::function<void()> links_read_;
};

// Walks from the switch at `start` (none: the switch the context addresses, known by its
// identity), pointing the context at each switch before `each` visits it, and logs out of
// what it logged into at the end; `progress` (may be empty) learns after each visit how many
// switches are done and how many are known. Returns the number of switches visited.
int walk(tv_context* ctx, std::optional<std::uint32_t> start, const walk_options& o, const std::function<void(visit&)>& each,
         const std::function<void(int done, int known)>& progress = {});

// The same walk with the visits side by side (tv_api/lanes.h), where the context allows it
// (slow switches, strict answers, no logins to make); else walk() itself. The switches
// are the same and are numbered in the same order, `each` is given each visit with its number
// (from 0), on a context of its own that addresses the switch; the visits of two switches run
// interleaved at their exchanges, so what must come out in walk order goes through an
// in_walk_order. `progress` learns of each visit as it ends.
int walk_side_by_side(tv_context* ctx, std::optional<std::uint32_t> start, const walk_options& o,
                      const std::function<void(visit&, int index)>& each,
                      const std::function<void(int done, int known)>& progress = {});

// How the texts of visits ahead of their turn are kept: deflated, unless the sink keeps the
// whole text in memory anyway.
enum class kept_texts { deflated, plain };

// Texts written by numbered visits, passed on to `sink` in the visits' order: the text of the
// earliest visit not finished goes straight through, the others' are kept until their turn.
class in_walk_order {
public:
    explicit in_walk_order(std::function<void(std::string_view)> sink, kept_texts kept = kept_texts::deflated)
        : sink_(std::move(sink)), deflate_(kept == kept_texts::deflated) {}
    void write(int index, std::string_view text);
    // Visit `index` has written all it writes.
    void finish(int index);

private:
    std::function<void(std::string_view)> sink_;
    bool deflate_;
    int head_ = 0;
    std::map<int, deflated_text> kept_;  // the text of visits ahead
    std::map<int, std::string> kept_plain_;
    std::set<int> finished_;
};

}  // namespace telvar::fabric
