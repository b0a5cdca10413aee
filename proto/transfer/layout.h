// Messages of bulk transfers, shared by the operations, the upload-block reader, the simulator's
// handlers and the fuzz harness. Every block towards the switch travels in a 516-byte message
// whatever its length; the bytes after its data are zero.
//
// Firmware load block (command 0x0E), answered with 28 bytes that are not read:
//   16 block number (16-bit, from 0)   18 block length (16-bit, 1-256)
//   20 total image length               24 data (256)
//
// Download block (command 0x17), answered with 36 bytes that are not read:
//   16 target selector   17 second selector   18 first-block flag   19 zero
//   20 zero              24 block number (16-bit)   26 block length (16-bit)
//   28 total length      32 data (256)
//
// Upload request (command 0x18, 32 bytes):
//   16 first selector   17 second selector   20 largest block wanted (16-bit)
//   24 offset of the wanted block in the store
// Upload answer (516 bytes):
//   20 length of this block (16-bit)   28 total length of the store (0xFFFFFFFF: no store)
//   32 data (up to 480)
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::transfer {

inline constexpr std::uint16_t cmd_codeload = 0x0E;
inline constexpr std::uint16_t cmd_download = 0x17;
inline constexpr std::uint16_t cmd_upload = 0x18;

inline constexpr std::size_t block_msg_len = 516;
inline constexpr std::size_t max_block = 256;  // data of one block towards the switch
inline constexpr std::uint32_t max_blocks = 0x10000;  // block numbers are 16-bit

namespace codeload {
inline constexpr std::size_t block_no = 16;
inline constexpr std::size_t block_len = 18;
inline constexpr std::size_t total = 20;
inline constexpr std::size_t data = 24;
inline constexpr std::size_t ret_len = 28;
}  // namespace codeload

namespace download {
inline constexpr std::size_t target = 16;
inline constexpr std::size_t selector2 = 17;
inline constexpr std::size_t first_block = 18;
inline constexpr std::size_t block_no = 24;
inline constexpr std::size_t block_len = 26;
inline constexpr std::size_t total = 28;
inline constexpr std::size_t data = 32;
inline constexpr std::size_t ret_len = 36;
}  // namespace download

namespace upload {
inline constexpr std::size_t req_len = 32;
inline constexpr std::size_t target = 16;
inline constexpr std::size_t selector2 = 17;
inline constexpr std::size_t wanted = 20;
inline constexpr std::size_t offset = 24;
inline constexpr std::size_t ret_len = 516;
inline constexpr std::size_t block_len = 20;
inline constexpr std::size_t total = 28;
inline constexpr std::size_t data = 32;
inline constexpr std::uint16_t max_block = 480;  // what the library asks for; the room too
inline constexpr std::uint32_t no_store = 0xFFFFFFFFu;
}  // namespace upload

}  // namespace tv::layout::transfer
