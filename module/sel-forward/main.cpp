// sel-forward (--to [tcp://|relp://]HOST:PORT | --stdout) [--format syslog|jsonl]
//             [--state FILE] [--interval SECONDS] [--once] [--verbose]
// sel-forward --to relps://HOST:PORT --tls-ca FILE [--tls-name NAME]
//             [--tls-cert FILE --tls-key FILE] ...
//
// Runs on the module beside seld and sends every record of the SEL that it has not sent
// before, oldest first, to a collector: RFC 5424 syslog messages over TCP with octet
// counting or over RELP (inside TLS: secure.h), or the JSON Lines rows of selexport, or either to standard
// output. It looks at the store when the system reports a change of it (and at least
// every interval) with the locks as `sel` takes them, and keeps in the state file,
// which it holds for its whole life, the last record that the collector accepted.
#include <arpa/inet.h>
#include <poll.h>
#include <syslog.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/options.h"
#include "common/say.h"
#include "lib/log.h"
#include "lib/posix.h"
#include "lib/visible.h"
#include "lib/zone.h"
#include "module/sel-forward/cursor.h"
#include "module/sel-forward/format.h"
#include "module/sel-forward/poll.h"
#include "module/sel-forward/secure.h"
#include "module/sel-forward/sender.h"
#include "module/sel-forward/signals.h"
#include "module/sel-forward/watch.h"
#include "store/sel_ring.h"

namespace {

// The longest wait between two looks at the store, where changes are reported and where
// they are not.
constexpr int kWatchedMs = 5000;
constexpr int kPolledMs = 1000;

struct Options {
  char host[FWD_HOST_MAX] = "";
  const char* port = nullptr;
  FwdTransport transport = FwdTransport::out;
  bool to_stdout = false;
  FwdFormat format = FwdFormat::syslog;
  const char* state = nullptr;
  int interval_ms = 0;  // 0: kWatchedMs or kPolledMs
  bool once = false;
  bool verbose = false;
  FwdTlsFiles tls{};
};

enum Opt : int {
  kOperand = OPT_OPERAND,
  kTo,
  kStdout,
  kFormat,
  kState,
  kInterval,
  kOnce,
  kVerbose,
  kTlsCa,
  kTlsName,
  kTlsCert,
  kTlsKey
};

constexpr auto kSynopsis = std::to_array<const char*>({
    "(--to [tcp://|relp://]HOST:PORT | --stdout)",
    " [--format syslog|jsonl] [--state FILE]",
    " [--interval SECONDS] [--once] [--verbose]",
    "--to relps://HOST:PORT --tls-ca FILE [--tls-name NAME]",
    " [--tls-cert FILE --tls-key FILE] [the options above]",
});
constexpr auto kOptions = std::to_array<OptRow>({
    {kTo, "--to", 0, "HOST:PORT", 0,
     SEL_TLS != 0 ? "the collector, over TCP (relp://: RELP; relps://: in TLS)"
                  : "the collector, over TCP (relp://HOST:PORT: RELP)"},
    {kStdout, "--stdout", 0, nullptr, 0, "write the messages to standard output instead"},
    {kFormat, "--format", 0, "syslog|jsonl", 0, "RFC 5424 messages (the default) or JSON rows"},
    {kState, "--state", 0, "FILE", 0, "keep the cursor in FILE (the last record sent)"},
    {kInterval, "--interval", 0, "SECONDS", 0, "the longest wait between looks (default 5)"},
    {kOnce, "--once", 0, nullptr, 0, "send what is new and end (status 1: not all of it)"},
    {kVerbose, "--verbose", 0, nullptr, 0, "write what is logged to standard error too"},
    {kTlsCa, "--tls-ca", 0, "FILE", 0, "relps://: the collector's CA certificates (PEM)"},
    {kTlsName, "--tls-name", 0, "NAME", 0, "relps://: the collector's name in its certificate"},
    {kTlsCert, "--tls-cert", 0, "FILE", 0, "relps://: the module's certificate (PEM)"},
    {kTlsKey, "--tls-key", 0, "FILE", 0, "relps://: the module's private key (PEM, mode 0600)"},
});
constexpr auto kRules = std::to_array<OptRule>({
    {OptTie::one_of, kTo, kStdout},
    {OptTie::needs, kTlsCert, kTlsKey},
    {OptTie::needs, kTlsKey, kTlsCert},
});
// Without TLS, the usage ends before its lines and rows, and the rules before theirs.
constexpr std::size_t kTlsLines = 2, kTlsRows = 4, kTlsRules = 2;
static_assert(kOptions[kOptions.size() - kTlsRows].id == kTlsCa);
static_assert(kRules[kRules.size() - kTlsRules].a == kTlsCert);
constexpr OptProgram kProgram{
    "sel-forward", std::span(kSynopsis).first(kSynopsis.size() - (SEL_TLS != 0 ? 0 : kTlsLines)),
    "Sends every record of the module's SEL that it has not sent before to a collector.",
    std::span(kOptions).first(kOptions.size() - (SEL_TLS != 0 ? 0 : kTlsRows)),
    std::span(kRules).first(kRules.size() - (SEL_TLS != 0 ? 0 : kTlsRules))};

// "HOST:PORT" or "[IPV6]:PORT", after "tcp://" or "relp://".
bool parse_target(const char* text, Options* o) {
  o->transport = FwdTransport::tcp;
  if (strncmp(text, "tcp://", 6) == 0) {
    text += 6;
  } else if (strncmp(text, "relp://", 7) == 0) {
    text += 7;
    o->transport = FwdTransport::relp;
  } else if (strncmp(text, "relps://", 8) == 0 && SEL_TLS != 0) {
    text += 8;
    o->transport = FwdTransport::relps;
  } else if (strstr(text, "://") != nullptr) {
    return false;  // a scheme of which we know nothing
  }
  const char* colon = strrchr(text, ':');
  if (colon == nullptr || colon == text || colon[1] == '\0') return false;
  const char* host = text;
  std::size_t len = static_cast<std::size_t>(colon - text);
  if (text[0] == '[' && colon[-1] == ']') {
    ++host;
    len -= 2;
  }
  std::int64_t port = 0;
  if (len == 0 || len >= sizeof o->host || !opt_number(colon + 1, 1, 65535, &port)) return false;
  memcpy(o->host, host, len);
  o->host[len] = '\0';
  o->port = colon + 1;
  return true;
}

// Seconds, with up to three decimals, from 0.01 to 3600. Read digit by digit: the
// forwarder needs no floating point (nor the maths library).
bool parse_interval(const char* text, int* ms) {
  long value = 0;
  int decimals = -1;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '.' && decimals < 0) {
      decimals = 0;
    } else if (*p >= '0' && *p <= '9' && decimals < 3 && value <= 3600000) {
      value = value * 10 + (*p - '0');
      if (decimals >= 0) ++decimals;
    } else {
      return false;
    }
  }
  for (int d = decimals < 0 ? 0 : decimals; d < 3 && value <= 3600000; ++d) value *= 10;
  if (value < 10 || value > 3600000) return false;
  *ms = static_cast<int>(value);
  return true;
}

bool take_format(Options* o, const char* value) {
  if (strcmp(value, "syslog") == 0) {
    o->format = FwdFormat::syslog;
  } else if (strcmp(value, "jsonl") == 0) {
    o->format = FwdFormat::jsonl;
  } else {
    return opt_refuse("--format %s: give syslog or jsonl", value);
  }
  return true;
}

bool take(void* ctx, int id, const char* value) {
  auto* o = static_cast<Options*>(ctx);
  switch (static_cast<Opt>(id)) {
    case kOperand: return opt_no_operands(ctx, id, value);
    case kStdout: o->to_stdout = true; return true;
    case kOnce: o->once = true; return true;
    case kVerbose: o->verbose = true; return true;
    case kTo:
      return parse_target(value, o) ||
             opt_refuse("--to %s: give [tcp://|relp://%s]HOST:PORT, PORT from 1 to 65535", value,
                        SEL_TLS != 0 ? "|relps://" : "");
    case kFormat: return take_format(o, value);
    case kState:
      // Refused before anything is made of it (a lock file ".lock" in the working directory).
      if (value[0] == '\0') return opt_refuse("--state: give a file name");
      o->state = value;
      return true;
    case kTlsCa: o->tls.ca = value; return true;
    case kTlsName: o->tls.name = value; return true;
    case kTlsCert: o->tls.cert = value; return true;
    case kTlsKey: o->tls.key = value; return true;
    case kInterval:
      return parse_interval(value, &o->interval_ms) ||
             opt_refuse("--interval %s: give seconds from 0.01 to 3600", value);
  }
  return opt_untaken(id);
}

// relps:// and the --tls-* options go together; the collector's name is HOST unless
// given, and must be given where HOST is an address. OPT_RUN when they do, else the
// status after saying why not.
int tls_options(Options* o) {
  FwdTlsFiles& t = o->tls;
  const bool given = t.ca != nullptr || t.name != nullptr || t.cert != nullptr;
  unsigned char address[16];
  const bool numeric =
      inet_pton(AF_INET, o->host, address) == 1 || inet_pton(AF_INET6, o->host, address) == 1;
  if (o->transport != FwdTransport::relps && given) {
    return opt_misuse("--tls-ca, --tls-name, --tls-cert and --tls-key go with --to relps://");
  }
  if (o->transport == FwdTransport::relps && t.ca == nullptr) {
    return opt_misuse("relps:// needs --tls-ca FILE, the CAs of the collector's certificate");
  }
  if (o->transport == FwdTransport::relps && t.name == nullptr && numeric) {
    return opt_misuse(
        "give --tls-name NAME, the collector's name in its certificate: HOST is an address");
  }
  if (t.name == nullptr) t.name = o->host;
  return OPT_RUN;
}

// One batch, as it goes out: the messages framed one after the other, where each ends,
// and the cursor once it is accepted.
struct Batch {
  char data[64 * 1024];
  std::size_t ends[FWD_BATCH_RECS + 1];
  FwdCursor after[FWD_BATCH_RECS + 1];
  int n;
  bool add(FwdFraming framing, const char* msg, std::size_t len, const FwdCursor& cursor) {
    const std::size_t at = n > 0 ? ends[n - 1] : 0;
    const std::size_t size = fwd_frame(data + at, sizeof data - at, framing, {msg, len});
    if (size == 0) return false;
    ends[n] = at + size;
    after[n++] = cursor;
    return true;
  }
};

// The records and messages of one batch: all zero at the start, so that they take no
// room in the program file.
SelRecord recs[FWD_BATCH_RECS];
Batch batch;

// The last failure that was logged (a warning or worse), made visible: what a run that
// ends with a status other than 0 says on standard error.
char failure[VISIBLE_MAX * LOG_BUF_SIZE];

void keep_failure(int priority, const char* text) {
  if (priority > LOG_WARNING) return;
  (void)snprintf(failure, sizeof failure, "%s", text);
}

struct Forwarder {
  Options o;
  FwdFraming framing = FwdFraming::octets;
  char host[FWD_HOST_MAX] = "";
  FwdCursor cursor{};  // FWD_CURSOR_FRESH, set at the start
  FwdSender sender{};
  FwdFollower follower{};
  FwdWatch watch{};
  bool save_failing = false;
  bool sent_any = false;  // a message was accepted in this run
  const char* state = nullptr;  // the state file as found at the start (o.state: as given)
  long long records_sent = 0, reported_lost = 0;  // what the collector accepted

  void save() {
    if (state == nullptr) return;
    const Status saved = fwd_cursor_write(state, cursor);
    errno = saved.error;
    if (!saved.ok() && !save_failing) {
      log_msg_errno(LOG_ERR, "cannot write the state file %s", o.state);
    }
    save_failing = !saved.ok();
  }

  // Sends the report and the records of one look. Whether all were accepted.
  bool send(FwdLook* look) {
    int read = 0;
    {
      const FwdAtOnce at_once;
      read = fwd_read(&follower, look, recs, FWD_BATCH_RECS);
    }
    char msg[FWD_MSG_MAX];
    batch.n = 0;
    const FwdPlan& plan = look->plan;
    const bool report = fwd_report_due(*look, read);
    if (report) {
      const std::size_t len =
          fwd_format_loss(msg, o.format, host, static_cast<std::int32_t>(time(nullptr)), plan);
      batch.add(framing, msg, len, plan.base);
    }
    for (int i = 0; i < read; ++i) {
      const FwdCursor after = fwd_cursor_at(recs[i], sel_ring_slot(look->info, plan.start + i),
                                            look->info.rec_count, look->info.oldest_file);
      const std::size_t len = fwd_format_record(msg, o.format, host, recs[i]);
      if (!batch.add(framing, msg, len, after)) break;  // the rest goes with the next batch
    }
    const int accepted = fwd_send(&sender, batch.data, batch.ends, batch.n);
    if (accepted > 0) {
      sent_any = true;
      records_sent += accepted - (report ? 1 : 0);
      if (report) {
        reported_lost += plan.missed;
        log_msg(LOG_WARNING, "%s: %s%d records were lost before they could be sent",
                plan.lost == FWD_CLEARED ? "the SEL was cleared" : "the SEL overran",
                plan.at_least ? "at least " : "", plan.missed);
        failure[0] = '\0';  // a loss that was reported is no failure of this run
      }
      cursor = batch.after[accepted - 1];
      save();
    }
    return accepted == batch.n && batch.n > 0;
  }

  enum Next { kMore, kDone, kFailed, kNoStore };

  // One look, and what it asks for: more records wait right away; or all is sent; or
  // the collector did not take everything (or cannot be reached); or the store cannot be
  // read now.
  Next step() {
    const bool ready = fwd_ready(&sender);
    FwdLook look{};
    Status seen;
    {
      const FwdAtOnce at_once;
      seen = fwd_look(&follower, cursor, &look);
    }
    if (!seen.ok()) return kNoStore;
    if (look.idle) return kDone;
    // No loss: the ring seen moves on at once, sent or not.
    if (look.plan.lost == FWD_NO_LOSS) cursor = look.plan.base;
    const bool something = look.plan.lost != FWD_NO_LOSS || look.plan.count > 0;
    if (!something || !ready) return something ? kFailed : kDone;  // the look lets go
    const int to_send = look.plan.count;
    const bool all = send(&look);
    if (look.moved) return kMore;
    if (batch.n == 0) return kNoStore;  // the records could not be read (logged)
    if (!all) return kFailed;
    return batch.n - (look.plan.lost != FWD_NO_LOSS ? 1 : 0) < to_send ? kMore : kDone;
  }

  // Waits up to `ms` for a change of the store, or for the collector to close the
  // connection; events that do not concern the store are passed over.
  void wait(int ms, bool watched) {
    const long long until = fwd_now_ms() + ms;
    for (long long now = fwd_now_ms(); now <= until && !fwd_stopping(); now = fwd_now_ms()) {
      pollfd fds[2] = {
          {watched ? watch.fd : -1, POLLIN, 0},
          {sender.transport != FwdTransport::out ? sender.fd : -1, POLLIN | POLLRDHUP, 0}};
      if (fwd_wait_for(fds, 2, static_cast<int>(until - now)) <= 0) return;
      if (fds[1].revents != 0) {
        fwd_check_peer(&sender);
        if (sender.fd < 0) return;  // it may be tried again now
      }
      if (fds[0].revents != 0 && fwd_watch_take(&watch)) return;
    }
  }

  // Until stopped (or standard output is gone), or with --once until all is sent or the
  // collector fails. The exit status: EXIT_PARTIAL when not all could be sent,
  // EXIT_NOTHING with --once when the store could not be read and nothing was sent.
  int run() {
    // A store that cannot be read (seld has not made it yet, say) is looked at again
    // after waits that double up to a minute, so that the log is not flooded.
    int no_store_ms = 0;
    while (!fwd_stopping() && !sender.dead) {
      const bool watched = fwd_watch_arm(&watch);
      (void)fwd_watch_take(&watch);  // what came before this look is seen by it
      const Next next = step();
      if (next == kMore) continue;
      if (o.once) return once_status(next);
      int ms = o.interval_ms > 0 ? o.interval_ms : watched ? kWatchedMs : kPolledMs;
      no_store_ms =
          next == kNoStore ? std::min(std::max(no_store_ms * 2, ms), FWD_RETRY_MAX_MS) : 0;
      if (next == kNoStore) ms = no_store_ms;
      if (next == kFailed && sender.fd < 0) {
        ms = static_cast<int>(std::clamp(sender.retry_at - fwd_now_ms(), 0LL, 1LL * ms));
      }
      wait(ms, watched);
    }
    return sender.dead || o.once ? EXIT_PARTIAL : EXIT_DONE;
  }

  int once_status(Next next) const {
    if (next == kDone) return EXIT_DONE;
    return next == kNoStore && !sent_any ? EXIT_NOTHING : EXIT_PARTIAL;
  }
};

// At namespace scope, so that no guard of a local static pulls in the C++ run-time
// library; all zero, so that it takes no room in the program file.
Forwarder f;

// Reads the cursor from the state file at `path` (`given` as the command line named
// it); why it cannot is said.
bool read_state(const char* given, const char* path) {
  const Status read = fwd_cursor_read(path, &f.cursor);
  if (read.ok()) return true;
  if (read.step == Step::not_regular) {
    say("the state file %s %s", given,
        read.error == EISDIR ? "is a directory" : "is not a regular file");
  } else if (read.step == Step::bad_format) {
    say("the state file %s holds no cursor of sel-forward (remove it to send the whole SEL "
        "again)",
        given);
  } else {
    say_status(read, "cannot read the state file %s", given);
  }
  return false;
}

// Finds the file that the state path names, once: why it cannot be used is said.
bool resolve_state(const char* given, char (&path)[PATH_MAX]) {
  const Status found = fwd_state_resolve(given, path);
  switch (found.step) {
    case Step::done: return true;
    case Step::resolve:
      say("the state file %s is a link that leads to no file (%s): is the file system that "
          "holds it mounted?",
          given, strerror(found.error));
      break;
    case Step::repeated:
      say("the state file %s has %lld names (hard links): a second sel-forward could take it "
          "under another; give it one",
          given, static_cast<long long>(found.value));
      break;
    default: say_status(found, "cannot write the state file %s", given); break;
  }
  return false;
}

// Takes the state file for this process and reads the cursor from it (also before the
// lock: a path that is no state file gets no lock file beside it), writing it back at
// once so that a path that cannot be written is found before anything is sent. `*lock`
// keeps it for the rest of the run. Whether it could; why not is said.
bool take_state(const char* given, FdGuard* lock) {
  static char path[PATH_MAX];
  if (!resolve_state(given, path) || !read_state(given, path)) return false;
  f.state = path;
  const Status taken = fwd_state_take(path, lock);
  if (taken.step == Step::lock && taken.error == EAGAIN) {
    say("the state file %s is in use by another sel-forward (pid %d)", given,
        static_cast<int>(taken.value));
    return false;
  }
  if (!taken.ok()) {
    say_status(taken, "cannot write the state file %s: %s.lock", given, path);
    return false;
  }
  if (!read_state(given, path)) return false;
  const Status written = fwd_cursor_write(path, f.cursor);
  if (!written.ok()) say_status(written, "cannot write the state file %s", given);
  return written.ok();
}

// What a run says at its end: why it ends with a status other than 0, unless --verbose
// said it already; with --verbose and --once, what it did.
void say_end(int status) {
  if (f.o.once && f.o.verbose) {
    say("sent %lld records, %lld reported lost", f.records_sent, f.reported_lost);
  }
  if (status == EXIT_DONE || f.o.verbose) return;
  if (failure[0] != '\0') {
    say("%s", failure);
  } else {
    say("stopped before every record was sent");
  }
}

}  // namespace

int main(int argc, char** argv) {
  say_as(kProgram.name);
  const unsigned closed = guard_std_fds();
  if ((closed & STD_FDS_UNGUARDED) != 0) return EXIT_NOTHING;
  // Before any lock is taken and before a stop signal is blocked: a zone file that
  // blocks holds nothing up but this process, which a signal still ends.
  (void)zone_load();
  const Options& o = f.o;
  const int early = opt_parse(kProgram, argc, argv, take, &f.o);
  if (early != OPT_RUN) return early;
  if (o.to_stdout && (closed & STD_OUT_CLOSED) != 0) {
    say("standard output is closed: the messages have nowhere to go");
    return EXIT_NOTHING;
  }
  const int misuse = tls_options(&f.o);
  if (misuse != OPT_RUN) return misuse;
  // What TLS is given is checked before the state file is taken: nothing is sent.
  if (o.transport == FwdTransport::relps && !fwd_secure_check(o.tls)) return EXIT_NOTHING;
  f.cursor = FWD_CURSOR_FRESH;
  FdGuard state_lock;
  if (o.state != nullptr && !take_state(o.state, &state_lock)) return EXIT_NOTHING;
  f.framing = fwd_framing(o.transport, o.format);
  fwd_sender_init(&f.sender, o.transport, o.host, o.port);
  f.sender.tls = &o.tls;
  fwd_host_name(f.host);
  log_open(kProgram.name, LOG_PID | (o.verbose ? LOG_PERROR : 0), LOG_DAEMON);
  log_visible(keep_failure);
  fwd_signals_init();
  fwd_watch_start(&f.watch);
  if (o.to_stdout) {
    log_msg(LOG_INFO, "forwarding the SEL to standard output");
  } else {
    log_msg(LOG_INFO, "forwarding the SEL to %s%s:%s",
            o.transport == FwdTransport::relp    ? "relp://"
            : o.transport == FwdTransport::relps ? "relps://"
                                                 : "",
            o.host, o.port);
  }
  const int status = f.run();
  fwd_sender_end(&f.sender);
  if (fwd_stopping()) log_msg(LOG_INFO, "stopping on a signal");
  say_end(status);
  return status;
}
