// Entry points that work on one port or on every port: counters, status, state, type and the
// online test.
//
// Where a bad port text leaves the outcome open (state, type, start and status of the test),
// the entry point returns -1, as tvlsw_port_counts does, with the context closed once by the
// epilogue: it never goes on with a closed context, and never ends the host's process for a
// text it can report.
#include <algorithm>
#include <array>
#include <string_view>

#include "sanwrapper/entry_call.h"
#include "tv_api/command_support.h"

namespace {

constexpr uint32_t default_transfer_size = 2000;
constexpr uint32_t default_passes = 10;

// The code of a word in its list (counted from 1), 0 for a null word (only read), -1 for a
// word outside the list; the comparison is exact.
template <std::size_t N>
int32_t word_code(const char* word, const std::array<std::string_view, N>& words) {
    if (word == nullptr) return 0;
    const auto at = std::find(words.begin(), words.end(), word);
    return at == words.end() ? TVLSW_BAD_TEXT : static_cast<int32_t>(at - words.begin()) + 1;
}

constexpr std::array<std::string_view, 2> state_words{"on", "off"};   // TV_PORT_STATE_ON, _OFF
constexpr std::array<std::string_view, 5> type_words{"f", "fl", "t", "sl", "tl"};  // 1 to 5

// The entries of a port-state list, inline after its count; the list never holds more than
// TV_MAX_PORTS entries, the room of the copy.
void copy_states(const tv_port_state& list, tvlsw_port_states& out) {
    out.count = std::min<uint32_t>(list.count, TV_MAX_PORTS);
    std::copy_n(list.entries, out.count, out.entries);
}

// The shape of tvlsw_port_state and tvlsw_port_type: a word outside its list (code -1) refused
// before anything is opened, the port text, the change when a word was given (code above 0),
// then the read of every port.
template <class Change, class Read>
int32_t change_then_read(tvlsw::call c, int32_t code, const void* record, const char* port,
                         tvlsw::range_message message, Change&& change, Read&& read) {
    c.refused = code == TVLSW_BAD_TEXT ? code : tvlsw::refuse_null(record);
    return tvlsw::run(c, [&](tvlsw::session& s) -> int32_t {
        const tvlsw::port_arg p = s.port(port, tvlsw::bad_port_text::minus_one, message);
        if (!p.ok) return p.value;
        if (code != 0)
            if (const int32_t changed = change(s.ctx(), p.value)) return changed;
        return read(s.ctx());
    });
}

}  // namespace

extern "C" {

int32_t tvlsw_port_counts(uint32_t fcaddr, uint32_t udpport, const char* ip, const char* port,
                          tv_port_counters* counters) {
    const tvlsw::call c{fcaddr, udpport, ip, tvlsw::ip_check::after_recording,
                        tvlsw::refuse_null(counters)};
    return tvlsw::run(c, [&](tvlsw::session& s) -> int32_t {
        const tvlsw::port_arg p = s.port(port, tvlsw::bad_port_text::minus_one);
        if (!p.ok) return p.value;
        Max_Ports = tv_get_num_of_ports(s.ctx());
        // "all" reaches the switch as port 0xFF: the switch says what it makes of it.
        return tv_get_port_counters(s.ctx(), static_cast<uint8_t>(p.value), counters);
    });
}

int32_t tvlsw_port_status(uint32_t fcaddr, uint32_t udpport, int32_t alpa, const char* ip,
                          const char* port, tv_port_status* status, int32_t* port_count) {
    const tvlsw::call c{fcaddr, udpport, ip, tvlsw::ip_check::none, tvlsw::refuse_null(status)};
    return tvlsw::run(c, [&](tvlsw::session& s) -> int32_t {
        const tvlsw::port_arg p = s.port(port, tvlsw::bad_port_text::usage);
        if (!p.ok) return p.value;
        // The record describes one port: "all" cannot be answered in it.
        if (p.value == TV_ALL_PORTS) return TV_ERR_PARAM;
        if (alpa != 0)
            if (const int32_t code = init_record_alpa(s.ctx())) return code;
        Max_Ports = tv_get_num_of_ports(s.ctx());
        if (port_count != nullptr) *port_count = Max_Ports;
        if (tv_api_errno != TV_OK) return tv_api_errno;
        return tv_get_port_status(s.ctx(), static_cast<uint32_t>(p.value), status);
    });
}

int32_t tvlsw_port_state(uint32_t fcaddr, uint32_t udpport, const char* state, const char* ip,
                         const char* port, tvlsw_port_states* states) {
    const int32_t code = word_code(state, state_words);
    return change_then_read(
        {fcaddr, udpport, ip}, code, states, port, tvlsw::range_message::print,
        [&](tv_context* ctx, int32_t p) { return tv_set_port_state(ctx, p, static_cast<uint32_t>(code)); },
        [&](tv_context* ctx) {
            tv_port_state list{};
            const int32_t read = tv_get_port_state(ctx, &list);
            if (read == TV_OK) copy_states(list, *states);
            tv_free_port_state(&list);
            return read;
        });
}

int32_t tvlsw_stop_test(uint32_t fcaddr, uint32_t udpport, const char* ip, const char* port) {
    return tvlsw::run({fcaddr, udpport, ip}, [&](tvlsw::session& s) -> int32_t {
        const tvlsw::port_arg p = s.port(port, tvlsw::bad_port_text::usage);
        return p.ok ? tv_stop_test(s.ctx()) : p.value;
    });
}

int32_t tvlsw_start_test(uint32_t fcaddr, uint32_t udpport, const char* xfer_size,
                         const char* passes, uint32_t pattern, int32_t reset_log,
                         const char* /*wait: accepted, not used*/, const char* ip,
                         const char* port) {
    const uint32_t size = xfer_size != nullptr ? static_cast<uint32_t>(tv::to_int(xfer_size))
                                               : default_transfer_size;
    const uint32_t runs = passes != nullptr ? static_cast<uint32_t>(tv::to_int(passes))
                                            : default_passes;
    return tvlsw::run({fcaddr, udpport, ip}, [&](tvlsw::session& s) -> int32_t {
        const tvlsw::port_arg p = s.port(port, tvlsw::bad_port_text::minus_one);
        if (!p.ok) return p.value;
        if (reset_log != 0)
            if (const int32_t code = tv_reset_log(s.ctx())) return code;
        return tv_start_test(s.ctx(), static_cast<uint32_t>(p.value), size, runs, pattern);
    });
}

int32_t tvlsw_test_status(uint32_t fcaddr, uint32_t udpport, const char* ip, const char* port,
                          tv_test_status_info* status) {
    return tvlsw::run({fcaddr, udpport, ip, tvlsw::ip_check::first, tvlsw::refuse_null(status)},
                      [&](tvlsw::session& s) -> int32_t {
                          const tvlsw::port_arg p = s.port(port, tvlsw::bad_port_text::minus_one);
                          return p.ok ? tv_test_status(s.ctx(), status) : p.value;
                      });
}

int32_t tvlsw_port_type(uint32_t fcaddr, uint32_t udpport, const char* type, const char* ip,
                        const char* port, tv_port_types* types) {
    const int32_t code = word_code(type, type_words);
    return change_then_read(
        {fcaddr, udpport, ip, tvlsw::ip_check::none}, code, types, port,
        tvlsw::range_message::silent,
        [&](tv_context* ctx, int32_t p) { return tv_set_port_type(ctx, static_cast<uint32_t>(p), code, 1); },
        [&](tv_context* ctx) { return tv_get_port_types(ctx, types); });
}

}  // extern "C"
