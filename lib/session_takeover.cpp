#include "lib/session_takeover.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/packet.h"
#include "lib/posix.h"
#include "lib/session_fd.h"
#include "lib/session_defs.h"

namespace {

int fail(int code) {
  session_lock_drop_fd();
  return code;
}

// True for an answer of y or Y; the rest of that line is dropped. Anything else,
// end of input included, is a refusal and leaves the rest of the line unread.
bool user_agrees() {
  const int answer = getchar();
  if (answer != 'y' && answer != 'Y') return false;
  for (int c = getchar(); c != EOF && c != '\n'; c = getchar()) {
  }
  return true;
}

int send_takeover_packet(int holder_pid) {
  void* body = dxa_pkt_alloc(TAKEOVER_BODY_SIZE);
  if (body == nullptr) return SESSION_E_ALLOC;
  TakeoverBody request{};
  request.command[1] = TAKEOVER_COMMAND;
  request.arg_count[1] = 1;
  request.arg_len = 4;
  request.pid = htons(static_cast<std::uint16_t>(holder_pid));
  memcpy(body, &request, sizeof request);
  // Flags 0: the send waits while confd's queue is full.
  const int sent = dxa_pkt_send(body, TAKEOVER_BODY_SIZE, QKEY_CONFD, 0);
  dxa_pkt_free(body);
  return sent < 0 ? SESSION_E_MESSAGE : 0;
}

}  // namespace

int session_lock_take_over(off_t file_size, const char* name, const char* question) {
  const int fd = session_lock_fd();
  std::array<char, SESSION_OWNER_MAX + 1> owner{};
  // The holder never writes more than the buffer holds; a longer file is not one of
  // ours and counts as unreadable.
  if (file_size > SESSION_OWNER_MAX) return fail(SESSION_E_READ);
  const auto wanted = static_cast<std::size_t>(file_size);
  if (read(fd, owner.data(), wanted) != static_cast<ssize_t>(wanted)) return fail(SESSION_E_READ);

  auto* comma = static_cast<char*>(memchr(owner.data(), ',', wanted));
  if (comma == nullptr) return fail(SESSION_E_DELIMITER);
  // atoi without its undefined overflow: the same conversion, cut to int as atoi does.
  const int holder_pid = static_cast<int>(strtol(comma + 1, nullptr, 10));
  if (holder_pid == 0 || holder_pid == getpid()) return fail(SESSION_E_PID);
  *comma = '\0';

  if (question != nullptr) {
    fputs(question, stdout);
  } else {
    printf("User %s has an active %s session.\n"
           "Would you like to disconnect that session, and start yours [y/n]? ",
           owner.data(), name);
  }
  fflush(stdout);  // the question has no newline and must be seen before the answer
  if (!user_agrees()) return fail(SESSION_DECLINED);

  const int sent = send_takeover_packet(holder_pid);
  if (sent != 0) return fail(sent);

  // The holder ends on SIGUSR1 from confd, which drops its lock.
  sleep(1);
  if (lock_whole_file(fd) < 0) return fail(SESSION_E_RETAKE);

  const Status marked = set_cloexec(fd);
  if (marked.ok()) return SESSION_HELD;
  errno = marked.error;
  return fail(marked.value == F_GETFD ? SESSION_E_GETFD : SESSION_E_SETFD);
}
