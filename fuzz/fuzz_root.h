// What the targets that use the fixed paths /mnt/logs/sel and /velmar/run share: they
// refuse to run outside a module root (tools/modroot), never touching a host's real
// /mnt; they write files alike; and they do not pause. The reader pauses 10
// microseconds after every chunk and the locks are polled every 10 microseconds:
// neither matters to what is read, nothing else here contends for the locks, and a
// real pause would make each run a thousand times slower.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int usleep(useconds_t) { return 0; }

// Clears whatever the previous run left at `path`: a file or an empty directory.
inline void remove_path(const char* path) {
  if (unlink(path) != 0) rmdir(path);
}

inline void write_file(const char* path, const void* bytes, std::size_t len) {
  remove_path(path);
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || (len > 0 && write(fd, bytes, len) != static_cast<ssize_t>(len))) abort();
  close(fd);
}

inline void require_module_root(const char* target) {
  const char* root = getenv("SEL_MODROOT");
  if (root == nullptr || strcmp(root, "1") != 0) {
    fprintf(stderr, "%s writes /mnt/logs/sel: run it through tools/modroot\n", target);
    exit(2);
  }
}
