// What the targets that use the fixed paths /mnt/logs/sel and /velmar/run share: they
// refuse to run outside a module root (tools/modroot), never touching a host's real
// /mnt, and they do not pause. The reader pauses 10 microseconds after every chunk and
// the locks are polled every 10 microseconds: neither matters to what is read, nothing
// else here contends for the locks, and a real pause would make each run a thousand
// times slower.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int usleep(useconds_t) { return 0; }

inline void require_module_root(const char* target) {
  const char* root = getenv("SEL_MODROOT");
  if (root == nullptr || strcmp(root, "1") != 0) {
    fprintf(stderr, "%s writes /mnt/logs/sel: run it through tools/modroot\n", target);
    exit(2);
  }
}
