#include "module/sel-forward/watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/sel_format.h"

namespace {

// The info file is replaced (moved to), rewritten (modified, closed), made or removed;
// the directory itself may go.
constexpr unsigned kEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                             IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

void fwd_watch_start(FwdWatch* w) {
  w->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  w->wd = -1;
}

bool fwd_watch_arm(FwdWatch* w) {
  if (w->fd >= 0 && w->wd < 0) w->wd = inotify_add_watch(w->fd, SEL_STORE_DIR, kEvents);
  return w->wd >= 0;
}

bool fwd_watch_take(FwdWatch* w) {
  if (w->fd < 0) return false;
  bool info = false;
  alignas(inotify_event) char buf[4096];
  for (;;) {
    const ssize_t n = read(w->fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return info;
    for (ssize_t at = 0; at < n;) {
      inotify_event ev{};
      memcpy(&ev, buf + at, sizeof ev);
      const char* name = buf + at + sizeof ev;
      if ((ev.mask & (IN_IGNORED | IN_Q_OVERFLOW)) != 0) {
        if ((ev.mask & IN_IGNORED) != 0 && ev.wd == w->wd) w->wd = -1;
        info = true;
      } else if ((ev.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
        // A directory moved away is no longer the store's: watched again by its path.
        if ((ev.mask & IN_MOVE_SELF) != 0 && ev.wd == w->wd) {
          (void)inotify_rm_watch(w->fd, w->wd);
          w->wd = -1;
        }
        info = true;
      } else if (ev.len > 0 && strcmp(name, SEL_FILE_NAMES[0]) == 0) {
        info = true;
      }
      at += static_cast<ssize_t>(sizeof ev + ev.len);
    }
  }
}
