#include "workstation/selexport/fleet.h"

#include <algorithm>
#include <cstring>

namespace {

// What a report of losses is told apart by in a host's window (a record's bytes are
// the other kind of key): its numbers, its reason and its time as written.
enum : std::uint8_t { kRecordKey = 0, kLostKey = 1 };

SelRecord lost_key(const LostReport& lost) {
  SelRecord key{};
  store_be32(key.bytes.data(), static_cast<std::uint32_t>(lost.missed));
  key.bytes[4] = lost.at_least ? 1 : 0;
  key.bytes[5] = static_cast<unsigned char>(lost.reason);
  const std::size_t n = std::min(lost.stamp.size(), SEL_RECORD_SIZE - 6);
  if (n > 0) memcpy(key.bytes.data() + 6, lost.stamp.data(), n);
  return key;
}

void note_malformed(LineCounts* c, std::uint64_t line, LineFault fault) {
  if (c->malformed < MALFORMED_SHOWN) {
    c->malformed_at[c->malformed] = line;
    c->malformed_fault[c->malformed] = fault;
  }
  ++c->malformed;
}

void count_lost(FleetHost* host, const LostReport& lost) {
  HostLost& l = host->lost;
  l.records += lost.missed;
  l.at_least = l.at_least || lost.at_least;
  l.by_reason[static_cast<std::size_t>(lost.reason)] += lost.missed;
  ++l.reports[static_cast<std::size_t>(lost.reason)];
}

}  // namespace

int fleet_host(Fleet* fleet, std::string_view name, const FleetSink& sink) {
  if (fleet->last >= 0 && fleet->hosts[static_cast<std::size_t>(fleet->last)]->name == name) {
    return fleet->last;
  }
  if (const auto found = fleet->index.find(name); found != fleet->index.end()) {
    return fleet->last = found->second;
  }
  if (fleet->hosts.size() >= FLEET_HOSTS_MAX) return -1;
  auto host = std::make_unique<FleetHost>();
  host->name = name;
  host->wanted = sink.admit(sink.ctx, host->name);
  const int number = static_cast<int>(fleet->hosts.size());
  // The key is a view of the name that the host holds: it stays where it is.
  fleet->index.emplace(std::string_view(host->name), number);
  fleet->hosts.push_back(std::move(host));
  return fleet->last = number;
}

Status fleet_read(LineReader* reader, Fleet* fleet, const FleetSink& sink, LineCounts* counts) {
  char host_buf[HOST_NAME_MAX_LEN];
  std::string_view text;
  for (LineReader::Got got = reader->next(&text); got != LineReader::Got::end;
       got = reader->next(&text)) {
    ++counts->lines;
    if (got == LineReader::Got::too_long) {
      ++counts->too_long;
      ++counts->not_ours;
      continue;
    }
    const CollectedLine line = collected_line(text, host_buf);
    if (line.kind == LineKind::not_ours) {
      ++counts->not_ours;
      continue;
    }
    if (line.kind == LineKind::malformed) {
      note_malformed(counts, reader->number(), line.fault);
      continue;
    }
    const int number = fleet_host(fleet, line.host, sink);
    if (number < 0) {
      ++counts->hosts_over;
      continue;
    }
    FleetHost* host = fleet->hosts[static_cast<std::size_t>(number)].get();
    if (!host->wanted) {
      ++counts->unwanted;
      continue;
    }
    const bool record = line.kind == LineKind::record;
    if (host->window.repeat(record ? line.rec : lost_key(line.lost), record ? kRecordKey : kLostKey)) {
      ++host->repeats;
      ++counts->repeats;
    } else if (!record) {
      ++counts->lost_reports;
      count_lost(host, line.lost);
    } else {
      ++host->records;
      ++counts->records;
      if (!sink.record(sink.ctx, number, line.rec)) return fail_data(Step::memory);
    }
  }
  return reader->status();
}

std::int64_t fleet_first_time(LineReader* reader) {
  const std::string_view head = reader->head(LINE_MAX_LEN);
  char host_buf[HOST_NAME_MAX_LEN];
  for (std::size_t at = 0, end = head.find('\n'); end != std::string_view::npos;
       at = end + 1, end = head.find('\n', at)) {
    const CollectedLine line = collected_line(head.substr(at, end - at), host_buf);
    if (line.kind == LineKind::record) return line.time;
  }
  return INT64_MIN;
}
