// The C entry points over the transport: they check their arguments and hand over to the
// transport's functions (transport.cpp), so that a transport linked in that one's place (the fuzz
// harnesses' memory transport) serves them unchanged.
#include "tv_api/tv_inter.h"

extern "C" {

int32_t tv_send(tv_context* ctx, const void* msg, int32_t len) {
    if (ctx == nullptr || msg == nullptr || len < 0) return -1;
    return tv::send_datagram(ctx, {static_cast<const std::uint8_t*>(msg), static_cast<size_t>(len)});
}

int32_t tv_recv(tv_context* ctx, void* buf, int32_t capacity) {
    if (ctx == nullptr || (buf == nullptr && capacity > 0)) return -1;
    return tv::recv_datagram(ctx, {static_cast<std::uint8_t*>(buf),
                                   capacity > 0 ? static_cast<size_t>(capacity) : 0});
}

void tv_delay(int32_t microseconds) { tv::pause_us(microseconds); }

}  // extern "C"
