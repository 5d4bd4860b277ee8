#include "workstation/selexport/inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "common/say.h"
#include "common/say_store.h"
#include "snapshot/ustar.h"
#include "workstation/selexport/fleet.h"

namespace {

void refuse(Input* in, const Status& status) {
  Source source{};
  source.name = in->name;
  say_source_refused(source, status);
  in->kind = InputKind::refused;
}

// Standard input, a regular file or a pipe, open to be read; -1 after setting `status`.
// `again`: whether it can be opened again from its start.
int open_operand(const char* operand, bool* again, Status* status) {
  if (strcmp(operand, "-") == 0) {
    *again = false;
    const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) *status = fail_errno(Step::stat);
    return fd;
  }
  struct stat st {};
  if (stat(operand, &st) != 0) {
    *status = fail_errno(Step::stat);
    return -1;
  }
  if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) {
    *status = fail_data(Step::not_regular);
    return -1;
  }
  *again = S_ISREG(st.st_mode);
  const int fd = open(operand, O_RDONLY | O_CLOEXEC);
  if (fd < 0) *status = fail_errno(Step::open);
  return fd;
}

// An archive: read by source_open from its path, or from what was read of a pipe and
// the rest of it.
void take_archive(Input* in, bool again) {
  in->kind = InputKind::store;
  if (again) return;
  const std::string_view raw = in->reader->raw_head();
  if (raw.empty()) {
    // Unreadable only where the compressed head ran past the first 64 KiB of a pipe.
    say("%s: an archive whose head is this long cannot be read from a pipe: give it as a file",
        in->name);
    in->kind = InputKind::refused;
    return;
  }
  in->kind = InputKind::archive_read;
  in->head.assign(raw);
  in->fd = FdGuard(in->reader->release());
}

void classify(Input* in) {
  struct stat st {};
  if (strcmp(in->operand, "-") != 0 && stat(in->operand, &st) == 0 && S_ISDIR(st.st_mode)) {
    in->kind = InputKind::store;
    return;
  }
  bool again = false;
  Status status;
  const int fd = open_operand(in->operand, &again, &status);
  if (fd < 0) return refuse(in, status);
  in->reader = std::make_unique<LineReader>();
  if (status = in->reader->open(fd); !status.ok()) return refuse(in, status);
  const std::string_view head = in->reader->head(USTAR_BLOCK);
  // Where this build cannot inflate, the archive reader says what a compressed input is.
  if (in->reader->unreadable() ||
      ustar_begins(reinterpret_cast<const unsigned char*>(head.data()), head.size())) {
    take_archive(in, again);
  } else {
    in->kind = InputKind::lines;
    in->first = fleet_first_time(in->reader.get());
  }
  // What can be opened again holds no descriptor until it is read.
  if (again || in->kind != InputKind::lines) in->reader.reset();
}

}  // namespace

std::vector<Input> inputs_classify(const char* const* operands, int n, bool stores_only) {
  std::vector<Input> inputs(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    Input& in = inputs[static_cast<std::size_t>(i)];
    in.operand = operands[i];
    in.name = strcmp(operands[i], "-") == 0 ? "standard input" : operands[i];
    if (stores_only) {
      in.kind = InputKind::store;
    } else {
      classify(&in);
    }
  }
  // Stores first, as given; then the lines, oldest first (those without a record last).
  const auto rank = [](const Input& in) {
    return in.kind == InputKind::lines ? (in.first == INT64_MIN ? 2 : 1) : 0;
  };
  std::stable_sort(inputs.begin(), inputs.end(), [&](const Input& a, const Input& b) {
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    return rank(a) == 1 && a.first < b.first;
  });
  return inputs;
}

bool input_lines(Input* in) {
  if (in->reader != nullptr) return true;
  bool again = false;
  Status status;
  const int fd = open_operand(in->operand, &again, &status);
  if (fd >= 0) {
    in->reader = std::make_unique<LineReader>();
    status = in->reader->open(fd);
    if (status.ok()) return true;
  }
  refuse(in, status);
  return false;
}
