// Firmware and file transfer: loading a firmware image, downloading a file or a memory buffer
// into a switch store, uploading a store into a buffer the library allocates.
//
// Blocks towards the switch carry at most 256 bytes in a 516-byte message; what follows a
// block's data is zero, the tail of a last, partial block included. A file that cannot be read
// ends the transfer with the C library's error number: before anything is sent when the first
// read fails. Upload answers are checked by decode_upload_block before a byte is copied, so a
// switch cannot make the library write past its buffer or ask for the same block forever.
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "proto/transfer/decode.h"
#include "tv_api/alloc.h"
#include "tv_api/tv_inter.h"

namespace {

namespace T = tv::layout::transfer;
namespace w = tv::wire;

thread_local std::array<std::uint8_t, T::block_msg_len> m_codeload_req;
thread_local std::array<std::uint8_t, T::codeload::ret_len> m_codeload_ret;
thread_local std::array<std::uint8_t, T::block_msg_len> m_download_req;
thread_local std::array<std::uint8_t, T::download::ret_len> m_download_ret;

constexpr std::size_t max_download_blocks = 2;
constexpr int32_t transfer_wait_extra = 2000;
constexpr int32_t transfer_budget_extra = 4000;

// Reads the next block of a file into `data` (256 bytes, zero after what was read). The count,
// or the C library's error number when the read failed.
struct block_read {
    std::size_t count = 0;
    int32_t error = TV_OK;
};
block_read read_block(std::FILE* file, w::bytes data) {
    const std::size_t n = std::fread(data.data(), 1, data.size(), file);
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(n), data.end(), 0);
    if (n == 0 && std::ferror(file)) return {0, errno != 0 ? errno : EIO};
    return {n, TV_OK};
}

// Every wait of a firmware load lasts as long as a long poll; the flag is cleared on every way
// out.
struct long_poll {
    long_poll() { Long_Poll = 1; }
    ~long_poll() { Long_Poll = 0; }
    long_poll(const long_poll&) = delete;
    long_poll& operator=(const long_poll&) = delete;
};

// Raised waits and budget for a memory download, restored on every way out.
struct raised_timeouts {
    int32_t wait = g_ip_timeout;
    int32_t budget = g_timeout;
    raised_timeouts() {
        g_ip_timeout = wait + transfer_wait_extra;
        g_timeout = budget + transfer_budget_extra;
    }
    ~raised_timeouts() {
        g_ip_timeout = wait;
        g_timeout = budget;
    }
    raised_timeouts(const raised_timeouts&) = delete;
    raised_timeouts& operator=(const raised_timeouts&) = delete;
};

std::optional<int32_t> download(tv_context* ctx, std::uint8_t target, std::FILE* file,
                                std::uint32_t length) {
    namespace D = T::download;
    tv::build_request(ctx, m_download_req, T::cmd_download);
    w::put_u8(m_download_req, D::target, target);
    w::put_be32(m_download_req, D::total, length);
    const w::bytes data{m_download_req.data() + D::data, T::max_block};
    std::optional<int32_t> status;
    for (std::size_t block = 0;; ++block) {
        const block_read r = read_block(file, data);
        if (r.error != TV_OK) return r.error;
        if (r.count == 0) return status;
        if (block == max_download_blocks) return TV_ERR_SWITCH_BUSY;
        w::put_be16(m_download_req, D::block_len, static_cast<std::uint16_t>(r.count));
        w::put_be16(m_download_req, D::block_no, static_cast<std::uint16_t>(block));
        const tv::exchanged x = tv::exchange(ctx, m_download_req, m_download_ret);
        status = x.status;
        if (!x.ok()) return status;
    }
}

int32_t download2(tv_context* ctx, int32_t target, int32_t selector2, const std::uint8_t* data,
                  std::uint32_t length) {
    namespace D = T::download;
    const raised_timeouts raised;
    int32_t status = TV_OK;
    for (std::uint32_t offset = 0, block = 0; offset < length && status == TV_OK; ++block) {
        // A fresh header, and so a sequence number of its own, for every block.
        tv::build_request(ctx, m_download_req, T::cmd_download);
        w::put_u8(m_download_req, D::target, static_cast<std::uint8_t>(target));
        w::put_u8(m_download_req, D::selector2, static_cast<std::uint8_t>(selector2));
        w::put_u8(m_download_req, D::first_block, offset == 0 ? 1 : 0);
        w::put_be32(m_download_req, D::total, length);
        const auto n = static_cast<std::uint16_t>(std::min<std::uint32_t>(length - offset, T::max_block));
        w::put_be16(m_download_req, D::block_len, n);
        w::put_be16(m_download_req, D::block_no, static_cast<std::uint16_t>(block));
        w::put_bytes(m_download_req, D::data, data + offset, n);
        status = tv::exchange(ctx, m_download_req, m_download_ret).status;
        offset += n;
    }
    return status;
}

int32_t upload(tv_context* ctx, int32_t target, int32_t selector2, std::uint8_t*& buffer,
               std::uint32_t& length) {
    namespace U = T::upload;
    std::uint32_t offset = 0;
    std::optional<std::uint32_t> total;
    for (;;) {
        std::array<std::uint8_t, U::req_len> req;
        std::array<std::uint8_t, U::ret_len> resp;
        tv::build_request(ctx, req, T::cmd_upload);
        w::put_u8(req, U::target, static_cast<std::uint8_t>(target));
        w::put_u8(req, U::selector2, static_cast<std::uint8_t>(selector2));
        w::put_be16(req, U::wanted, U::max_block);
        w::put_be32(req, U::offset, offset);
        const tv::exchanged x = tv::exchange(ctx, req, resp);
        if (!x.ok()) return TV_ERR_SWITCH_BUSY;
        length = w::get_be32(resp, U::total);
        const auto b = tv::decode_upload_block(resp, static_cast<std::size_t>(x.length), offset, total);
        log_info("BufLen %d, TotBufLen %d, offset %d\n", w::get_be16(resp, U::block_len),
                 static_cast<int>(length), static_cast<int>(offset));
        if (!b) return TV_ERR_SWITCH_BUSY;
        if (buffer == nullptr) {
            // Never null for an empty store merely because malloc may return null for size 0.
            buffer = static_cast<std::uint8_t*>(tv::alloc_bytes(std::max<std::uint32_t>(b->total, 1)));
            if (buffer == nullptr) return TV_ERR_ALLOC;
            total = b->total;
        }
        w::get_bytes(resp, U::data, buffer + offset, b->length);
        offset += b->length;
        if (offset >= b->total) return TV_OK;
    }
}

}  // namespace

namespace tv {

std::optional<int32_t> codeload(tv_context* ctx, std::FILE* file, std::uint32_t length) {
    namespace K = T::codeload;
    const long_poll waits;
    // The header, and so the sequence number, is written once for every block of the load.
    tv::build_request(ctx, m_codeload_req, T::cmd_codeload);
    w::put_be32(m_codeload_req, K::total, length);
    const w::bytes data{m_codeload_req.data() + K::data, T::max_block};
    std::optional<int32_t> status;
    for (std::uint32_t block = 0;; ++block) {
        const block_read r = read_block(file, data);
        if (r.error != TV_OK) {
            if (block > 0)
                log_error("firmware load: the image cannot be read after %u blocks: %s\n", block,
                          std::strerror(r.error));
            return r.error;
        }
        if (r.count == 0) return status;
        if (block == T::max_blocks) {
            log_error("firmware load: the image has more than %u blocks\n", T::max_blocks);
            return TV_ERR_PARAM;
        }
        w::put_be16(m_codeload_req, K::block_len, static_cast<std::uint16_t>(r.count));
        w::put_be16(m_codeload_req, K::block_no, static_cast<std::uint16_t>(block));
        const tv::exchanged x = tv::exchange(ctx, m_codeload_req, m_codeload_ret);
        status = x.status;
        if (!x.ok()) return status;
    }
}

}  // namespace tv

extern "C" {

int32_t tv_codeload(tv_context* ctx, FILE* file, uint32_t length) {
    if (ctx == nullptr || file == nullptr) return tv::publish(TV_ERR_PARAM);
    // An empty image sends nothing and leaves the status code as it was.
    const auto status = tv::codeload(ctx, file, length);
    return status ? tv::publish(*status) : tv_api_errno;
}

int32_t tv_download(tv_context* ctx, uint8_t target, FILE* file, uint32_t length) {
    if (ctx == nullptr || file == nullptr) return tv::publish(TV_ERR_PARAM);
    const auto status = download(ctx, target, file, length);
    return status ? tv::publish(*status) : tv_api_errno;
}

int32_t tv_download2(tv_context* ctx, int32_t target, int32_t selector2, const void* data,
                     uint32_t length) {
    if (ctx == nullptr || (data == nullptr && length > 0)) return tv::publish(TV_ERR_PARAM);
    return tv::publish(download2(ctx, target, selector2, static_cast<const std::uint8_t*>(data), length));
}

int32_t tv_upload(tv_context* ctx, int32_t target, int32_t selector2, uint8_t** buffer,
                  uint32_t* length) {
    if (ctx == nullptr || buffer == nullptr || length == nullptr) return tv::publish(TV_ERR_PARAM);
    *buffer = nullptr;
    *length = 0;
    const int32_t status = upload(ctx, target, selector2, *buffer, *length);
    if (status != TV_OK) {
        std::free(*buffer);
        *buffer = nullptr;
        *length = 0;
    }
    return tv::publish(status);
}

}  // extern "C"
