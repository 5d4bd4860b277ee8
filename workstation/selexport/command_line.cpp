// selexport's options: their table, and what each of them sets.
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/say.h"
#include "workstation/selexport/selexport.h"

namespace {

enum Opt : int {
  kOperand = OPT_OPERAND,
  kFormat,
  kFirst,
  kLast,
  kSince,
  kUntil,
  kOn,
  kSeverity,
  kType,
  kReverse,
  kLocal,
  kSummary,
  kCheck,
};

constexpr auto kSynopsis = std::to_array<const char*>({
    "[--format jsonl|csv|html] [--first N | --last N] [--since TIME]",
    " [--until TIME | --on DAY] [--severity NAME] [--type NAME|NUMBER]... [--reverse]",
    " [--local] STORE...",
    "--summary [--format json] [--first N | --last N] [FILTER...] [--local]",
    " STORE...",
    "--check STORE...",
});
constexpr auto kOptions = std::to_array<OptRow>({
    {kFormat, "--format", 0, "FORMAT", 0, "jsonl (the default), csv or html; json with --summary"},
    {kFirst, "--first", 0, "N", 0, "the oldest N records, as sel rd_first N"},
    {kLast, "--last", 0, "N", 0, "the newest N records, as sel rd_last N"},
    {kSince, "--since", 0, "TIME", 0, "records from TIME on"},
    {kUntil, "--until", 0, "TIME", 0, "records up to TIME (a date: to its end)"},
    {kOn, "--on", 0, "DAY", 0, "records of that day (a date, today or yesterday)"},
    {kSeverity, "--severity", 0, "NAME", 0, "records of this severity or worse"},
    {kType, "--type", 0, "NAME|NUMBER", OPT_REPEATS, "records of this event type (again: or that)"},
    {kReverse, "--reverse", 0, nullptr, 0, "newest first"},
    {kLocal, "--local", 0, nullptr, 0, "days and dates in the module's zone (else TZ), not UTC"},
    {kSummary, "--summary", 0, nullptr, 0, "counts by severity, type and day instead"},
    {kCheck, "--check", 0, nullptr, OPT_ALONE, "check the stores' consistency instead"},
});
constexpr auto kRules = std::to_array<OptRule>({{OptTie::exclusive, kFirst, kLast},
                                                {OptTie::exclusive, kOn, kSince},
                                                {OptTie::exclusive, kOn, kUntil}});
constexpr OptProgram kProgram{
    "selexport", kSynopsis,
    "STORE is a copy of the module's /mnt/logs/sel, a folder that holds one, or a sel-save\n"
    "archive (.tar or .tar.gz; - reads it from standard input). TIME is 2025-12-05 (the\n"
    "day), 2025-12-05T16:00:00 with Z or an offset such as +01:00 (none: UTC, or with\n"
    "--local the module's zone), seconds since the epoch, -2h, -3d, -30m (that long before\n"
    "the newest record among the stores), today or yesterday (the newest record's day).",
    kOptions, kRules};

// The labels that `print` lists, for a message.
template <typename Print>
const char* listed(Print print) {
  static char text[1024];
  text[0] = '\0';
  FILE* f = fmemopen(text, sizeof text - 1, "w");
  if (f == nullptr) return text;
  print(f);
  (void)fclose(f);  // a memory stream, cut at its end
  text[sizeof text - 1] = '\0';
  return text;
}

bool take_format(ExportOptions* o, const char* value) {
  constexpr auto kFormats = std::to_array<std::pair<const char*, ExportFormat>>({
      {"jsonl", ExportFormat::jsonl},
      {"csv", ExportFormat::csv},
      {"json", ExportFormat::json},
      {"html", ExportFormat::html},
  });
  for (const auto& [name, format] : kFormats) {
    if (strcmp(value, name) != 0) continue;
    o->format = format;
    o->format_given = true;
    return true;
  }
  return opt_refuse("--format %s: the formats are jsonl, csv, html and json", value);
}

bool take_count(ExportOptions* o, Selection selection, const char* name, const char* value) {
  std::int64_t count = 0;
  if (!opt_number(value, INT_MIN, INT_MAX, &count)) {
    return opt_refuse("%s %s: not a number", name, value);
  }
  o->selection = selection;
  o->count = static_cast<int>(count);
  return true;
}

bool take_time(TimeBound* bound, const char* name, const char* value) {
  return filter_parse_time(value, bound) ||
         opt_refuse(
             "%s %s: give a time as 2025-12-05, 2025-12-05T16:00:00Z, "
             "2025-12-05T17:00:00+01:00, seconds since the epoch, -2h, -3d, -30m "
             "(before the newest record), today or yesterday",
             name, value);
}

bool take_day(ExportOptions* o, const char* value) {
  return filter_parse_day(value, &o->filter) ||
         opt_refuse("--on %s: give a day as 2025-12-05, today or yesterday", value);
}

bool take_severity(ExportOptions* o, const char* value) {
  return filter_parse_severity(value, &o->filter.least_severity) ||
         opt_refuse("--severity %s: the severities are %s", value,
                    listed([](FILE* out) { filter_print_severities(out); }));
}

bool take_type(ExportOptions* o, const char* value) {
  if (o->filter.types == FILTER_TYPES_MAX) {
    return opt_refuse("--type %s: at most %d types", value, FILTER_TYPES_MAX);
  }
  return filter_parse_type(value, &o->filter) ||
         opt_refuse("--type %s: give a type number or one of %s", value,
                    listed([](FILE* out) { filter_print_types(out); }));
}

bool take(void* ctx, int id, const char* value) {
  auto* o = static_cast<ExportOptions*>(ctx);
  switch (static_cast<Opt>(id)) {
    case kOperand: o->stores[o->n_stores++] = value; return true;
    case kCheck: o->check = true; return true;
    case kReverse: o->reverse = true; return true;
    case kLocal: o->local = true; return true;
    case kSummary: o->summary = true; return true;
    case kFormat: return take_format(o, value);
    case kFirst: return take_count(o, Selection::first, "--first", value);
    case kLast: return take_count(o, Selection::last, "--last", value);
    case kSince: return take_time(&o->filter.since, "--since", value);
    case kUntil: return take_time(&o->filter.until, "--until", value);
    case kOn: return take_day(o, value);
    case kSeverity: return take_severity(o, value);
    case kType: return take_type(o, value);
  }
  return opt_untaken(id);
}

}  // namespace

int options_parse(int argc, char** argv, ExportOptions* o) {
  o->stores = static_cast<const char**>(calloc(static_cast<std::size_t>(argc), sizeof *o->stores));
  if (o->stores == nullptr) return EXIT_NOTHING;
  return opt_parse(kProgram, argc, argv, take, o);
}
