#include "lib/packet.h"

#include <cstdlib>
#include <cstring>

namespace {

unsigned char* message_of(void* body) { return static_cast<unsigned char*>(body) - DXA_PKT_HEAD; }

}  // namespace

void* dxa_pkt_alloc(int length) {
  if (length < 0 || length > DXA_PKT_MAX) return nullptr;
  auto* message =
      static_cast<unsigned char*>(calloc(1, DXA_PKT_HEAD + static_cast<std::size_t>(length)));
  // Not a leak: the caller holds the body, inside the allocation, and dxa_pkt_free
  // steps back to the allocation's start.
  // cppcheck-suppress memleak
  return message != nullptr ? message + DXA_PKT_HEAD : nullptr;
}

int dxa_pkt_free(void* body) {
  if (body == nullptr) return -1;
  free(message_of(body));
  return 0;
}

int dxa_pkt_send(void* body, int length, std::uint32_t key, int flags) {
  if (body == nullptr) return -1;
  const int qid = dxa_getqid(key, 0);
  if (qid == -1) return -1;

  unsigned char* message = message_of(body);
  // The rest of the packet header keeps the allocation's zeros.
  message[sizeof(MsgHeader)] = static_cast<unsigned char>(key & 0xff);
  MsgHeader header{};
  header.pri = 1;
  header.type = DXA_PKT_TYPE;
  header.pid = 0;
  header.skey = 0;
  header.size = static_cast<std::int32_t>(DXA_PKT_HEAD - sizeof header.pri) + length;
  memcpy(message, &header, sizeof header);

  if (dxa_sendmsgq(qid, reinterpret_cast<const MsgHeader*>(message), flags) != 0) return -1;
  return length;
}
