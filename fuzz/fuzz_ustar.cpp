// The archive reader against any bytes, as a damaged or hostile snapshot may hold: it unpacks
// nothing but the store's files, none larger than a store file can be, into its directory.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "snapshot/ustar.h"
#include "store/sel_format.h"

namespace {
char g_dir[] = "/tmp/fuzz_ustar.XXXXXX";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (g_dir[sizeof g_dir - 2] == 'X') {
    if (mkdtemp(g_dir) == nullptr) abort();
    (void)atexit([] { rmdir(g_dir); });  // empty after every input
  }
  const int fd = memfd_create("archive", MFD_CLOEXEC);
  if (fd < 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) abort();
  char member[PATH_MAX];
  (void)ustar_extract_store(fd, g_dir, member);
  close(fd);
  for (const char* name : SEL_FILE_NAMES) {
    struct stat st {};
    const long long most = name == SEL_FILE_NAMES[0] ? 512 : 64000;
    if (stat((std::string(g_dir) + "/" + name).c_str(), &st) == 0 && st.st_size > most) abort();
  }
  // Removing the store's files empties the directory: nothing else was written there.
  ustar_remove_store(g_dir);
  if (mkdir(g_dir, 0700) != 0) abort();
  return 0;
}
