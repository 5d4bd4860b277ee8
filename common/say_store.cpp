#include "common/say_store.h"

#include <cstring>

#include "common/say.h"
#include "snapshot/ustar.h"

namespace {

// Of the operand itself: the status's path is null.
void say_operand(const char* name, const Status& s) {
  switch (s.step) {
    case Step::not_regular: say("%s: neither a directory nor an archive", name); break;
    case Step::empty: say("%s holds no SEL store (no sel.inf, no sel.0 to sel.3)", name); break;
    case Step::repeated:
      say("%s holds %lld folders with a SEL store: name one of them", name,
          static_cast<long long>(s.value));
      break;
    case Step::not_archive: say("%s is not a tar archive", name); break;
    case Step::bad_header: say("%s is damaged: a header is not one", name); break;
    case Step::cut_short:
      say("%s ends before its end blocks: the archive is cut short", name);
      break;
    case Step::gzip_cut_short:
      say("%s ends inside its gzip stream: the archive is cut short", name);
      break;
    case Step::gzip_damaged: say("%s is a damaged gzip file", name); break;
    case Step::process: say_status(s, "%s cannot be read", name); break;
    case Step::read:
      say_status(s, "%s cannot be %s", name, s.error != 0 ? "unpacked" : "read");
      break;
    default: say_status(s, "%s", name); break;
  }
}

// Of a member of the archive, or of the directory it is unpacked into.
void say_unpacking(const char* name, const Status& s) {
  switch (s.step) {
    case Step::bad_header: say("%s is damaged: its pax header %s is not one", name, s.path); break;
    case Step::cut_short: say("%s ends inside %s: the archive is cut short", name, s.path); break;
    case Step::too_large: {
      const auto most = static_cast<long long>(ustar_store_file_max(s.path));
      if (most == USTAR_OUTSIDE_MAX) {
        say("%s holds %s of %lld bytes, and more than %lld MiB besides the store's files: it "
            "is no snapshot of a SEL store, and is read no further",
            name, s.path, static_cast<long long>(s.value), USTAR_OUTSIDE_MAX >> 20);
        break;
      }
      say("%s holds %s of %lld bytes, more than %s can be (%lld bytes)", name, s.path,
          static_cast<long long>(s.value),
          most == ustar_store_file_max(SEL_FILE_NAMES[0]) ? "an info file" : "a record file", most);
      break;
    }
    case Step::repeated: say("%s holds more than one %s", name, s.path); break;
    case Step::too_long:
      say("%s cannot be unpacked: the temporary directory's path is too long", name);
      break;
    case Step::open: say_status(s, "cannot make a temporary directory in %s to unpack %s", s.path, name); break;
    case Step::write: say_status(s, "cannot write %s to unpack %s", s.path, name); break;
    default: say_status(s, "%s cannot be unpacked at %s", name, s.path); break;
  }
}

}  // namespace

void say_source_refused(const Source& source, const Status& status) {
  if (status.path == nullptr) {
    say_operand(source.name, status);
  } else {
    say_unpacking(source.name, status);
  }
}

void say_store_refused(const StoreDir& store, const Status& status) {
  if (strcmp(status.path, SEL_FILE_NAMES[0]) != 0) {  // a record file (store_files_readable)
    const auto promised = static_cast<long long>(status.value);
    if (status.step == Step::not_regular) {
      say("%s/%s is not a regular file; the info file promises %lld records in it", store.name,
          status.path, promised);
    } else {
      say("%s/%s cannot be opened: %s; the info file promises %lld records in it", store.name,
          status.path, strerror(status.error), promised);
    }
    return;
  }
  if (status.error != 0) {
    say("%s/%s cannot be opened: %s; selexport --check tells more", store.name, status.path,
        strerror(status.error));
    return;
  }
  char why[80];
  sel_info_fault_text(static_cast<unsigned>(status.value), store.info, why, sizeof why);
  say("%s/%s: %s; selexport --check tells more", store.name, status.path, why);
}

void say_meta_ignored(const Source& source) {
  const Status& s = source.meta_read;
  if (s.ok()) return;
  if (s.step == Step::repeated) {
    say("%s: %s gives %s more than once, and is ignored: where and when the snapshot was "
        "taken is not known",
        source.name, SNAPSHOT_META_NAME, s.path);
  } else {
    say_status(s, "%s: %s cannot be read, and is ignored", source.name, SNAPSHOT_META_NAME);
  }
}
