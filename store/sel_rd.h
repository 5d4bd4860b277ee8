// The reading modes: which records an option asks for, and the range reader that
// walks the ring of record files and prints them, oldest first.
//
// Each takes over the store lock handle and leaves it released on every way out; the
// range reader holds it only while its walk is inside the oldest file.
// Results: 0 done (also for an empty store, a count below 1 and a store that ends
// early), 2 a record file could not be opened.
#pragma once

#include <cstdio>

#include "store/sel_store.h"

inline constexpr int SEL_CHUNK_RECS = 20;  // records read per open of a record file

int sel_print_first_recs(const SelInfo& info, int count, int lock);
int sel_print_last_recs(const SelInfo& info, int count, int lock);
int sel_print_recs(int start_file, int start_pos, int count, int oldest_file, int lock);

// The same, writing to `out`.
int sel_fprint_first_recs(FILE* out, const SelInfo& info, int count, int lock);
int sel_fprint_last_recs(FILE* out, const SelInfo& info, int count, int lock);
int sel_fprint_recs(FILE* out, int start_file, int start_pos, int count, int oldest_file,
                    int lock);
