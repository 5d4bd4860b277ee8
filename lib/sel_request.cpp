#include "lib/sel_request.h"

#include <syslog.h>

#include <cstdlib>
#include <cstring>

#include "lib/log.h"

namespace {

constexpr std::size_t kBodiesAt = offsetof(SelRequest, body);
// The most bodies whose message length still fits the 32-bit size field.
constexpr std::int32_t kMaxBodies =
    static_cast<std::int32_t>((INT32_MAX - kBodiesAt) / SEL_RECORD_BODY_SIZE);

}  // namespace

int sel_send_request(long pri, std::int32_t count, const unsigned char* bodies) {
  if (count > kMaxBodies) return -1;  // no such message can be built
  const std::size_t body_count = count < 1 ? 1 : static_cast<std::size_t>(count);
  const std::size_t length = kBodiesAt + body_count * SEL_RECORD_BODY_SIZE;
  // calloc: the body area of a request without records carries zeros.
  auto* message = static_cast<unsigned char*>(calloc(1, length));
  if (message == nullptr) return -1;
  if (count >= 1) memcpy(message + kBodiesAt, bodies, body_count * SEL_RECORD_BODY_SIZE);
  memcpy(message + offsetof(SelRequest, count), &count, sizeof count);

  MsgHeader header{};
  header.pri = pri;
  header.type = SEL_REQUEST_TYPE;
  header.pid = 0;
  header.skey = 0;
  header.size = static_cast<std::int32_t>(length - sizeof header.pri);
  memcpy(message, &header, sizeof header);

  int result = 0;
  if (dxa_sendmsgq_by_key(QKEY_SELD, reinterpret_cast<const MsgHeader*>(message)) != DXA_SENT) {
    log_msg(LOG_ERR, "Fail to send msg to seld");
    result = -1;
  }
  free(message);
  return result;
}

int sel_clear() {
  log_msg(LOG_WARNING, "Clear SEL");
  return sel_send_request(1, SEL_REQUEST_CLEAR, nullptr);
}
