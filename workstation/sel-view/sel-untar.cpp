// sel-untar ARCHIVE DIR: sel-view's helper. Unpacks the store's files of a snapshot
// archive (as sel-save writes it, or as tar makes of a copied directory) into the
// empty directory DIR, with the same reader as selexport, so that both tools take the
// same files from the same archive.
//
// Exit status 0; 1 with the reason on standard error ("ARCHIVE <why>"), which sel-view
// passes on; 2 on bad arguments.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "lib/posix.h"
#include "common/ustar.h"

int main(int argc, char** argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    puts(
        "usage: sel-untar ARCHIVE DIR\n"
        "Unpacks sel.inf and sel.0 to sel.3 of a store's tar archive into the empty DIR\n"
        "(sel-view's helper).");
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("sel-untar %s\n", SEL_VERSION);
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-' && argv[i][1] != '\0') {
      fprintf(stderr, "sel-untar: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (argc != 3) {
    fputs("usage: sel-untar ARCHIVE DIR\n", stderr);
    return 2;
  }
  const FdGuard in(open(argv[1], O_RDONLY | O_CLOEXEC));
  char why[PATH_MAX + 100];
  if (in.fd < 0) {
    fprintf(stderr, "%s: %s\n", argv[1], strerror(errno));
    return 1;
  }
  if (ustar_extract_store(in.fd, argv[2], why, sizeof why) != 0) {
    fprintf(stderr, "%s %s\n", argv[1], why);
    return 1;
  }
  return 0;
}
