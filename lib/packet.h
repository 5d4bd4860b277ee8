// Packets: messages whose body of 0 to 1024 bytes follows a MsgHeader and a
// PacketHeader in one allocation. Callers handle only the body pointer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/msgq.h"

inline constexpr int DXA_PKT_MAX = 1024;
inline constexpr std::int32_t DXA_PKT_TYPE = 2;

struct PacketHeader {
  std::uint8_t key;          // the queue key the packet is sent to (low 8 bits)
  std::uint8_t reserved[3];  // zero
};

// Bytes in front of every body: 24 on the module, 28 where a long has 8 bytes.
inline constexpr std::size_t DXA_PKT_HEAD = sizeof(MsgHeader) + sizeof(PacketHeader);

// The takeover request to confd: end the session of the process `pid` names.
struct TakeoverBody {
  std::uint8_t command[2];    // 0, TAKEOVER_COMMAND
  std::uint8_t arg_count[2];  // 0, 1
  std::uint16_t arg_len;      // 4
  std::uint16_t reserved;     // 0
  std::uint32_t pid;          // htons() of the pid's low 16 bits, in a 32-bit word
};

struct TakeoverPacket {
  MsgHeader header;  // pri 1, type 2, pid 0, skey 0, size 32
  PacketHeader packet;
  TakeoverBody body;
};

inline constexpr std::uint8_t TAKEOVER_COMMAND = 14;
inline constexpr int TAKEOVER_BODY_SIZE = sizeof(TakeoverBody);
static_assert(sizeof(TakeoverBody) == 12);
static_assert(offsetof(TakeoverPacket, body) == DXA_PKT_HEAD);
static_assert(sizeof(TakeoverPacket) == sizeof(long) + 32);

// A zero-filled body of `length` bytes, or nullptr for a length outside 0 to 1024 or
// when memory is short.
void* dxa_pkt_alloc(int length);

// Frees a body from dxa_pkt_alloc. 0, or -1 for nullptr.
int dxa_pkt_free(void* body);

// Fills the headers in front of `body` and sends the packet to the queue of `key`
// with msgsnd() `flags`. Returns `length`, or -1.
int dxa_pkt_send(void* body, int length, std::uint32_t key, int flags);
