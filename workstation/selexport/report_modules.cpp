// The fleet's part of the report: the modules that went silent, and the modules in the
// order that puts the one to look at first on top.
#include <algorithm>
#include <array>

#include "decode/record_text.h"

#include "workstation/selexport/report.h"

namespace {

// Calls take(record, store) for each record, the stores' records following each other.
template <typename Take>
void each_record(const Report& r, Take take) {
  for (std::size_t i = 0, s = 0, left = 0; i < r.time.size(); ++i, --left) {
    while (left == 0) left = static_cast<std::size_t>(r.stores[s++].records);
    take(i, s - 1);
  }
}

}  // namespace

std::vector<StoreLast> report_silent(const Report& r) {
  std::vector<StoreLast> last(r.stores.size());
  std::int64_t newest = INT64_MIN;
  each_record(r, [&](std::size_t i, std::size_t s) {
    last[s].last = std::max<std::int64_t>(last[s].last, r.time[i]);
    newest = std::max<std::int64_t>(newest, r.time[i]);
  });
  if (!r.fleet || newest == INT64_MIN) return last;
  for (StoreLast& l : last) l.silent = l.last < newest - REPORT_SILENT_DAYS * 86400;
  return last;
}

std::vector<std::size_t> report_worst_first(const Report& r) {
  // Emergencies, criticals, warnings, records lost.
  std::vector<std::array<long long, 4>> weight(r.stores.size());
  each_record(r, [&](std::size_t i, std::size_t s) {
    const int severity = r.severity[i];  // 2 warning, 3 critical, 4 emergency
    if (severity >= 2 && severity <= 4) ++weight[s][static_cast<std::size_t>(4 - severity)];
  });
  std::vector<std::size_t> order(r.stores.size());
  for (std::size_t s = 0; s < order.size(); ++s) {
    weight[s][3] = r.stores[s].lost;
    order[s] = s;
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (weight[a] != weight[b]) return weight[a] > weight[b];
    return r.stores[a].label < r.stores[b].label;
  });
  return order;
}

std::string report_silent_text(std::int64_t last) {
  if (last == INT64_MIN) return "no record";
  char when[32];
  iso_time(static_cast<std::int32_t>(last), when);
  return std::string("none since ") + when;
}
