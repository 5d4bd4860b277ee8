// Records of one module given twice: two snapshots of one host taken a day apart share
// most of their records. A record of a host whose 64 bytes were already read from an
// earlier snapshot of that host is counted once, wherever it is counted. Within one
// snapshot nothing is dropped: a damaged store may hold a wiped record many times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/sel_record.h"

struct SeenRecords {
  std::vector<std::string> hosts;
  std::vector<SelRecord> records;
  std::vector<std::uint32_t> host_of;   // a record's host
  std::vector<std::uint32_t> store_of;  // and the snapshot it was first read from
  std::vector<std::uint32_t> slots;    // open addressing: 1 + a record's index, 0 for none
};

// The number of a snapshot's host, or -1 when the snapshot names none (its records are
// then never taken for another's).
int seen_host(SeenRecords* seen, const char* host);

// Whether `rec` of `host` was read before from a snapshot other than `store` (the
// stores' numbers in the order read); it is remembered as read now.
bool seen_before(SeenRecords* seen, int host, int store, const SelRecord& rec);
