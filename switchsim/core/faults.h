// Seeded fault injection: rules that spoil the simulator's answers, for reliability tests of
// the exchange and for users who want to see their scripts cope with a bad network.
//
// A rule applies to the requests it matches (a command and, optionally, a configuration
// sub-command; all requests when none is given), with a probability, at most `count` times.
// Written on the command line as KIND[=VALUE][,cmd=C][,sub=S][,p=P][,count=N], numbers in
// decimal or 0x-hexadecimal:
//   drop            the answer is lost
//   silence         the switch answers nothing that matches (drop with p=1)
//   delay=MS        the answer leaves MS milliseconds late
//   duplicate       the answer is sent twice
//   reorder         the answer is held back and sent after the next answer to the same manager
//   stale           an older answer (the previous one to that manager) is sent first
//   corrupt         the answer's checksum is wrong
//   status=BYTE     the answer carries this status byte
// and, for a hostile switch whose answers are well formed but say what no switch would:
//   fill=BYTE       every payload byte of the answer is BYTE (counts at their largest, texts
//                   without a terminator); length field and checksum right
//   size=N          the answer is N bytes long (20 to 2048: cut, or grown with 0xFF bytes);
//                   length field and checksum right
//   truncate=N      the datagram is cut to its first N bytes (1 to 2048) after framing, so its
//                   length field and checksum are those of the whole answer
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class fault_kind {
    drop, silence, delay, duplicate, reorder, stale, corrupt, status, fill, size, truncate
};

struct fault_rule {
    fault_kind kind = fault_kind::drop;
    std::optional<std::uint16_t> command;
    std::optional<std::uint32_t> subcommand;
    double probability = 1.0;
    long count = -1;        // matches left; -1: no limit
    std::uint32_t value = 0;  // milliseconds of a delay, the status byte, the fill byte, a size
};

// Parses a rule as written on the command line; on failure returns nullopt and says why.
std::optional<fault_rule> parse_fault(std::string_view text, std::string& error);
std::string describe(const fault_rule& r);

// What happens to one answer.
struct fault_effects {
    bool drop = false;
    bool duplicate = false;
    bool reorder = false;
    bool stale_first = false;
    bool corrupt = false;
    std::optional<std::uint8_t> status;
    std::uint32_t delay_ms = 0;
    std::optional<std::uint8_t> fill;
    std::optional<std::uint32_t> size;
    std::optional<std::uint32_t> truncate;
    bool any() const {
        return drop || duplicate || reorder || stale_first || corrupt || status || delay_ms ||
               fill || size || truncate;
    }
    // What fill and size do to an answer before it is framed.
    void reshape(std::vector<std::uint8_t>& answer) const;
};

class fault_plan {
public:
    explicit fault_plan(std::uint32_t seed = 1) : rng_(seed) {}
    void add(const fault_rule& r) { rules_.push_back(r); }
    void clear() { rules_.clear(); }
    void reseed(std::uint32_t seed) { rng_.seed(seed); }
    bool empty() const { return rules_.empty(); }
    const std::vector<fault_rule>& rules() const { return rules_; }
    // Draws the effects of every matching rule on one answer.
    fault_effects decide(std::uint16_t command, std::uint32_t subcommand);

private:
    std::vector<fault_rule> rules_;
    std::mt19937 rng_;
};

}  // namespace sim
