// sel-untar ARCHIVE DIR: sel-view's helper. Unpacks the store's files of a snapshot
// archive (as sel-save writes it, or as tar makes of a copied directory; plain or
// gzip-compressed) and what the snapshot says of itself (sel.meta) into the
// empty directory DIR, with the same reader as selexport, so that both tools take the
// same files from the same archive.
//
// Exit status 0; 1 with the reason on standard error ("ARCHIVE <why>"), which sel-view
// passes on; 2 on bad arguments.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "common/archive.h"
#include "common/options.h"
#include "lib/posix.h"

namespace {

constexpr auto kSynopsis = std::to_array<const char*>({"ARCHIVE DIR"});
constexpr OptProgram kProgram{
    "sel-untar",
    kSynopsis,
    "Unpacks sel.inf and sel.0 to sel.3 of a store's tar archive into the empty DIR\n"
    "(sel-view's helper).",
    {}};

struct Args {
  const char* words[2] = {};
  int n = 0;
};

bool take(void* ctx, const OptParse& parse, int id, const char* value) {
  auto* a = static_cast<Args*>(ctx);
  if (a->n == 2) return opt_no_operands(ctx, parse, id, value);
  a->words[a->n++] = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if ((guard_std_fds() & STD_FDS_UNGUARDED) != 0) return 2;
  Args a;
  const int early = opt_parse(kProgram, argc, argv, take, &a);
  if (early != OPT_RUN) return early;
  if (a.n != 2) {
    opt_usage(kProgram, stderr);
    return 2;
  }
  const char* archive = a.words[0];
  const FdGuard in(strcmp(archive, "-") == 0 ? dup(STDIN_FILENO)
                                             : open(archive, O_RDONLY | O_CLOEXEC));
  char why[PATH_MAX + 100];
  if (in.fd < 0) {
    fprintf(stderr, "%s: %s\n", archive, strerror(errno));
    return 1;
  }
  if (archive_extract_store(in.fd, a.words[1], why, sizeof why) != 0) {
    fprintf(stderr, "%s %s\n", archive, why);
    return 1;
  }
  return 0;
}
