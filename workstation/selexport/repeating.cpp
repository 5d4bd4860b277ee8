#include "workstation/selexport/repeating.h"

#include <algorithm>

void repeating_add(Repeating* r, std::string_view type, std::string_view pattern,
                   std::int64_t when, int store) {
  std::string key;
  key.reserve(type.size() + 1 + pattern.size());
  key.append(type).push_back('\0');  // no label holds one
  key.append(pattern);
  const auto [at, added] = r->index.try_emplace(std::move(key), r->groups.size());
  if (added) r->groups.push_back({type, std::string(pattern)});
  RepeatingGroup& g = r->groups[at->second];
  ++g.count;
  g.first = std::min(g.first, when);
  g.last = std::max(g.last, when);
  if (g.last_store != store) ++g.stores;
  g.last_store = store;
}

std::vector<const RepeatingGroup*> repeating_top(const Repeating& r, std::size_t n) {
  std::vector<const RepeatingGroup*> top;
  top.reserve(r.groups.size());
  for (const RepeatingGroup& g : r.groups) top.push_back(&g);
  const auto more = [](const RepeatingGroup* a, const RepeatingGroup* b) {
    if (a->count != b->count) return a->count > b->count;
    if (a->first != b->first) return a->first < b->first;
    return a->type != b->type ? a->type < b->type : a->pattern < b->pattern;
  };
  const std::size_t kept = std::min(n, top.size());
  std::partial_sort(top.begin(), top.begin() + static_cast<std::ptrdiff_t>(kept), top.end(), more);
  top.resize(kept);
  return top;
}
