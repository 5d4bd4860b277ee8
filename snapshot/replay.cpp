#include "snapshot/replay.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

Status replay_input(int fd, std::string_view head, FdGuard* replayed) {
  const char* tmp = getenv("TMPDIR");
  if (tmp == nullptr || tmp[0] == '\0') tmp = "/tmp";
  char path[PATH_MAX];
  if (snprintf(path, sizeof path, "%s/selexport.XXXXXX", tmp) >= static_cast<int>(sizeof path)) {
    return fail_data(Step::too_long, tmp, PATH_MAX);
  }
  FdGuard file(mkstemp(path));
  if (file.fd < 0) return fail_errno(Step::open, tmp);
  (void)unlink(path);  // gone with its descriptor, whatever ends the run
  if (!set_cloexec(file.fd).ok() || write_all(file.fd, head.data(), head.size()) != 0) {
    return fail_errno(Step::write, tmp);
  }
  auto total = static_cast<std::int64_t>(head.size());
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail_errno(Step::read);
    if (n == 0) break;
    if ((total += n) > REPLAY_MAX) return fail_data(Step::too_large, nullptr, total);
    if (write_all(file.fd, buf, static_cast<std::size_t>(n)) != 0) return fail_errno(Step::write, tmp);
  }
  if (lseek(file.fd, 0, SEEK_SET) != 0) return fail_errno(Step::read);
  *replayed = std::move(file);
  return kDone;
}
