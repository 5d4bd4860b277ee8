// sel-forward (--to HOST:PORT | --stdout) [--format syslog|jsonl] [--state FILE]
//             [--interval SECONDS]
//
// Runs on the module beside seld and sends every record of the SEL that it has not sent
// before, oldest first, to a collector: RFC 5424 syslog messages over TCP with octet
// counting, or the JSON Lines rows of selexport one a line, or either to standard
// output. It looks at the store every interval with the locks as `sel` takes them, and
// keeps in the state file the last record that the collector accepted.
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
#include "lib/log.h"
#include "module/sel-forward/cursor.h"
#include "module/sel-forward/format.h"
#include "module/sel-forward/poll.h"
#include "module/sel-forward/sender.h"
#include "module/sel-forward/signals.h"

namespace {

struct Options {
  char host[256] = "";
  const char* port = nullptr;
  bool to_stdout = false;
  FwdFormat format = FwdFormat::syslog;
  const char* state = nullptr;
  int interval_ms = 1000;
  bool to_given = false;
};

enum : int { kTo = 1, kStdout, kFormat, kState, kInterval };

constexpr auto kSynopsis = std::to_array<const char*>({
    "(--to HOST:PORT | --stdout) [--format syslog|jsonl]",
    " [--state FILE] [--interval SECONDS]",
});
constexpr auto kOptions = std::to_array<OptSpec>({
    {kTo, "--to", 0, "HOST:PORT", 0, "the collector: syslog over TCP"},
    {kStdout, "--stdout", 0, nullptr, 0, "write the messages to standard output instead"},
    {kFormat, "--format", 0, "syslog|jsonl", 0, "RFC 5424 messages (the default) or JSON rows"},
    {kState, "--state", 0, "FILE", 0, "keep the cursor in FILE (the last record sent)"},
    {kInterval, "--interval", 0, "SECONDS", 0, "look at the store this often (default 1)"},
});
constexpr OptProgram kProgram{
    "sel-forward", kSynopsis,
    "Sends every record of the module's SEL that it has not sent before to a collector.",
    kOptions};

// "HOST:PORT" or "[IPV6]:PORT".
bool parse_target(const char* text, Options* o) {
  const char* colon = strrchr(text, ':');
  if (colon == nullptr || colon == text || colon[1] == '\0') return false;
  const char* host = text;
  std::size_t len = static_cast<std::size_t>(colon - text);
  if (text[0] == '[' && colon[-1] == ']') {
    ++host;
    len -= 2;
  }
  char* end = nullptr;
  const long port = strtol(colon + 1, &end, 10);
  if (len == 0 || len >= sizeof o->host || *end != '\0' || port < 1 || port > 65535) return false;
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

bool take(void* ctx, const OptParse& parse, int id, const char* value) {
  auto* o = static_cast<Options*>(ctx);
  switch (id) {
    case OPT_OPERAND: return opt_refuse(parse, "unexpected argument %s", value);
    case kStdout: o->to_stdout = true; return true;
    case kTo:
      o->to_given = true;
      return parse_target(value, o) ||
             opt_refuse(parse, "--to %s: give HOST:PORT, PORT from 1 to 65535", value);
    case kFormat:
      if (strcmp(value, "syslog") == 0) {
        o->format = FwdFormat::syslog;
      } else if (strcmp(value, "jsonl") == 0) {
        o->format = FwdFormat::jsonl;
      } else {
        return opt_refuse(parse, "--format %s: give syslog or jsonl", value);
      }
      return true;
    case kState: o->state = value; return true;
    default:
      return parse_interval(value, &o->interval_ms) ||
             opt_refuse(parse, "--interval %s: give seconds from 0.01 to 3600", value);
  }
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

struct Forwarder {
  Options o;
  FwdFraming framing = FwdFraming::octets;
  char host[256] = "";
  FwdCursor cursor = FWD_CURSOR_FRESH;
  FwdSender sender{};
  FwdFollower follower{};
  bool save_failing = false;

  void save() {
    if (o.state == nullptr) return;
    if (fwd_cursor_write(o.state, cursor) != 0) {
      if (!save_failing) log_msg_errno(LOG_ERR, "cannot write the state file %s", o.state);
      save_failing = true;
    } else {
      save_failing = false;
    }
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
    if (plan.lost != FWD_NO_LOSS) {
      const std::size_t len = fwd_format_loss(
          msg, o.format, host, static_cast<std::int32_t>(time(nullptr)), plan.lost, plan.missed);
      batch.add(framing, msg, len, plan.base);
    }
    for (int i = 0; i < read; ++i) {
      const std::size_t len = fwd_format_record(msg, o.format, host, recs[i]);
      if (!batch.add(framing, msg, len,
                     fwd_cursor_at(recs[i], look->info.rec_count, look->info.oldest_file))) {
        break;  // the rest goes with the next batch
      }
    }
    const int accepted = fwd_send(&sender, batch.data, batch.ends, batch.n);
    if (accepted > 0) {
      if (plan.lost != FWD_NO_LOSS) {
        log_msg(LOG_WARNING, "%s: %d records were lost before they could be sent",
                plan.lost == FWD_CLEARED ? "the SEL was cleared" : "the SEL overran", plan.missed);
      }
      cursor = batch.after[accepted - 1];
      save();
    }
    return accepted == batch.n && batch.n > 0;
  }

  enum Next { kMore, kWait, kNoStore };

  // One look, and what it asks for: more records wait right away, or the next look
  // comes after the interval, or later while the store cannot be read.
  Next step() {
    const bool ready = fwd_ready(&sender);
    FwdLook look{};
    {
      const FwdAtOnce at_once;
      look = fwd_look(&follower, cursor);
    }
    if (look.result == FWD_LOOK_NO_STORE) return kNoStore;
    if (look.result != FWD_LOOK_PLAN) return kWait;
    // No loss: the ring seen moves on at once, sent or not.
    if (look.plan.lost == FWD_NO_LOSS) cursor = look.plan.base;
    const bool something = look.plan.lost != FWD_NO_LOSS || look.plan.count > 0;
    if (!something || !ready) {
      fwd_look_done(&look);
      return kWait;
    }
    const int to_send = look.plan.count;
    const bool all = send(&look);
    return all && batch.n - (look.plan.lost != FWD_NO_LOSS ? 1 : 0) < to_send ? kMore : kWait;
  }

  void run() {
    // A store that cannot be read (seld has not made it yet, say) is looked at again
    // after waits that double up to a minute, so that the log is not flooded.
    int no_store_ms = o.interval_ms;
    while (!fwd_stopping() && !sender.dead) {
      const Next next = step();
      if (next == kMore) continue;
      no_store_ms = next == kNoStore ? std::min(no_store_ms * 2, 60000) : o.interval_ms;
      const bool watch = sender.host != nullptr && sender.fd >= 0;
      if (fwd_wait(watch ? sender.fd : -1, POLLIN | POLLRDHUP,
                   next == kNoStore ? no_store_ms : o.interval_ms) > 0) {
        fwd_check_peer(&sender);
      }
    }
  }
};

// At namespace scope, so that no guard of a local static pulls in the C++ run-time
// library.
Forwarder f;

}  // namespace

int main(int argc, char** argv) {
  const Options& o = f.o;
  const int early = opt_parse(kProgram, argc, argv, take, &f.o);
  if (early != OPT_RUN) return early;
  if (o.to_given == o.to_stdout) {
    fputs("sel-forward: give one of --to HOST:PORT and --stdout\nTry 'sel-forward --help'.\n",
          stderr);
    return 2;
  }
  // A collector of JSON takes one row a line; syslog over TCP is counted in octets.
  f.framing = o.to_stdout || o.format == FwdFormat::jsonl ? FwdFraming::lines : FwdFraming::octets;
  f.sender = fwd_sender(o.to_stdout ? nullptr : o.host, o.port);
  if (o.state != nullptr && fwd_cursor_read(o.state, &f.cursor) < 0) {
    fprintf(stderr, "sel-forward: cannot read the state file %s: %s\n", o.state,
            errno == EINVAL ? "not a cursor of sel-forward (remove it to send the whole SEL again)"
                            : strerror(errno));
    return 1;
  }
  fwd_host_name(f.host);
  log_open("sel-forward", LOG_PID, LOG_DAEMON);
  fwd_signals_init();
  if (o.to_stdout) {
    log_msg(LOG_INFO, "forwarding the SEL to standard output");
  } else {
    log_msg(LOG_INFO, "forwarding the SEL to %s:%s", o.host, o.port);
  }
  f.run();
  if (f.sender.dead) return 1;
  log_msg(LOG_INFO, "stopping on a signal");
  return 0;
}
