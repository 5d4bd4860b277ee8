// Demo record sets for sample stores. Each appends its records with record_id 0; the
// store writer numbers them.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/sel_record.h"

void add_agent_demo_records(std::vector<SelRecord>& out, int32_t timestamp);
void add_system_demo_records(std::vector<SelRecord>& out, int32_t timestamp);
