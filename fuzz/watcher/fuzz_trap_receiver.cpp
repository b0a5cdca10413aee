// The watcher's trap receiver on any datagram from any of four senders: two addresses of the
// watched fabric, one of a fabric it forgot and one never watched. A trap is taken only from a
// watched address, whole, not all zero, with a good status and from a switch of that fabric
// (its event decodes to the source and code the row carries); every datagram is either taken
// or counted once as refused, and the log line names the refusals exactly when there are any.
#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <numeric>

#include "proto/header.h"
#include "proto/traps/decode.h"
#include "telvard/events/trap_receiver.h"
#include "tv_api/unsolicited.h"

namespace {

namespace ev = telvar::events;

in_addr address(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a;
}

ev::trap_receiver& receiver() {
    static ev::trap_receiver r = [] {
        ev::trap_receiver made({"127.0.0.1", 0});
        made.watch("gone", address("127.0.0.9"), {{"10:00:00:00:5e:09:00:00", "0x0a0000", 9}});
        made.forget("gone");
        made.watch("fabric", address("127.0.0.1"),
                   {{"10:00:00:00:5e:01:00:00", "0x010000", 1},
                    {"10:00:00:00:5e:02:00:00", "0x020000", 2},
                    {"10:00:00:00:5e:03:00:00", "not an address", 3}},
                   {address("127.0.0.2")});
        return made;
    }();
    return r;
}

std::uint64_t total(const ev::refusal_counts& c) { return std::accumulate(c.begin(), c.end(), std::uint64_t{0}); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const std::array<const char*, 4> senders{"127.0.0.1", "127.0.0.2", "127.0.0.9", "127.0.0.3"};
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr = address(senders[data[0] % senders.size()]);
    from.sin_port = htons(static_cast<std::uint16_t>(1024 + data[0]));
    const bool from_fabric = data[0] % senders.size() < 2;
    // The byte after the sender says whether the datagram was longer than what arrived.
    const std::size_t extra = size > 1 ? data[1] % 4 : 0;
    const tv::wire::cbytes msg{data + std::min<std::size_t>(size, 2), size - std::min<std::size_t>(size, 2)};

    ev::trap_receiver& r = receiver();
    const std::uint64_t refused_before = total(r.refused());
    const auto row = r.judge(from, msg, msg.size() + extra, 42);
    const std::uint64_t refused_now = total(r.refused());
    if (refused_now != refused_before + (row ? 0 : 1)) std::abort();
    if (ev::describe(r.refused()).empty() != (refused_now == 0)) std::abort();
    if (!row) return 0;

    if (!from_fabric || extra != 0 || row->fabric != "fabric" || row->at != 42) std::abort();
    if (std::all_of(msg.begin(), msg.end(), [](std::uint8_t b) { return b == 0; })) std::abort();
    if (tv::whole_message_fault(msg.size(), msg, TV_CMD_TRAP) != tv::message_fault::none) std::abort();
    if (tv::status_from_byte(msg[tv::off::status]) != TV_OK) std::abort();
    const tv_trap_event e = tv::decode_trap_event(msg);
    const std::uint32_t source = row->sw.chassis == 1 ? 0x010000 : row->sw.chassis == 2 ? 0x020000 : 0xFFFFFFFF;
    if (e.source != source || row->code != e.code || row->unit != e.unit || row->description.empty()) std::abort();
    return 0;
}
