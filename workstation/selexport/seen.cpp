#include "workstation/selexport/seen.h"

#include <algorithm>
#include <cstring>

namespace {

// FNV-1a over the host's number and the record's bytes.
std::uint64_t hash_of(std::uint32_t host, const SelRecord& rec) {
  std::uint64_t h = 0xcbf29ce484222325ULL ^ host;
  for (const unsigned char b : rec.bytes) h = (h ^ b) * 0x100000001b3ULL;
  return h;
}

// The slot that holds the record, or the empty one where it belongs.
std::size_t slot_of(const SeenRecords& s, std::uint32_t host, const SelRecord& rec) {
  const std::size_t mask = s.slots.size() - 1;
  for (auto at = static_cast<std::size_t>(hash_of(host, rec) & mask);; at = (at + 1) & mask) {
    const std::uint32_t held = s.slots[at];
    if (held == 0) return at;
    if (s.host_of[held - 1] == host && s.records[held - 1].bytes == rec.bytes) return at;
  }
}

// Twice as many slots as records at most: a probe ends soon.
void grow(SeenRecords* s) {
  std::vector<std::uint32_t> old(std::max<std::size_t>(1024, 4 * s->records.size()), 0);
  old.swap(s->slots);
  for (const std::uint32_t held : old) {
    if (held != 0) s->slots[slot_of(*s, s->host_of[held - 1], s->records[held - 1])] = held;
  }
}

}  // namespace

int seen_host(SeenRecords* s, const char* host) {
  if (host[0] == '\0') return -1;
  const auto at = std::find(s->hosts.begin(), s->hosts.end(), host);
  if (at != s->hosts.end()) return static_cast<int>(at - s->hosts.begin());
  s->hosts.emplace_back(host);
  return static_cast<int>(s->hosts.size() - 1);
}

bool seen_before(SeenRecords* s, int host, int store, const SelRecord& rec) {
  if (host < 0) return false;
  if (2 * (s->records.size() + 1) > s->slots.size()) grow(s);
  const auto h = static_cast<std::uint32_t>(host);
  const std::size_t at = slot_of(*s, h, rec);
  if (const std::uint32_t held = s->slots[at]; held != 0) {
    return s->store_of[held - 1] != static_cast<std::uint32_t>(store);
  }
  s->records.push_back(rec);
  s->host_of.push_back(h);
  s->store_of.push_back(static_cast<std::uint32_t>(store));
  s->slots[at] = static_cast<std::uint32_t>(s->records.size());
  return false;
}
