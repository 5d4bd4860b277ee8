// Requests to seld, the owner of the SEL store, on its queue (key 7).
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/msgq.h"

inline constexpr std::int32_t SEL_REQUEST_TYPE = 6;
// A record body: the 64-byte record without its leading record id, which seld sets.
inline constexpr std::size_t SEL_RECORD_BODY_SIZE = 60;
inline constexpr std::int32_t SEL_REQUEST_CLEAR = -1;  // the count that empties the store

// A request as it lies on the queue. `count` bodies of SEL_RECORD_BODY_SIZE bytes (a
// record without its record id) follow the count; a request without records still
// carries one body area, zero-filled, so it is never shorter than this struct.
struct SelRequest {
  MsgHeader header;  // type 6, pid 0, skey 0, size = length - sizeof(long)
  std::int32_t count;
  unsigned char body[SEL_RECORD_BODY_SIZE];
};
static_assert(offsetof(SelRequest, count) == sizeof(MsgHeader));
static_assert(offsetof(SelRequest, body) == sizeof(MsgHeader) + 4);
static_assert(sizeof(SelRequest) == sizeof(long) + 80);

// The largest request a queue of the default size takes, from `pri` on (msgmax: 8192
// bytes after `pri`), and so the most record bodies one request carries.
inline constexpr std::size_t SEL_REQUEST_MSG_MAX = sizeof(long) + 8192;
inline constexpr int SEL_REQUEST_MAX_BODIES = static_cast<int>(
    (SEL_REQUEST_MSG_MAX - offsetof(SelRequest, body)) / SEL_RECORD_BODY_SIZE);

// Sends a request with message type `pri` and `count` bodies read from `bodies`
// (count x 60 bytes; not read when count is below 1). 0, or -1 ("Fail to send msg to
// seld" is logged when the send fails).
int sel_send_request(long pri, std::int32_t count, const unsigned char* bodies);

// Asks seld to empty the store; logs "Clear SEL" first. 0, or -1.
int sel_clear();
