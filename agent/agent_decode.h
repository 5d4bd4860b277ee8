// Decoders of the agent's records: signal and command events (type 1) and failed
// commands (type 2).
#pragma once

#include <cstdio>

#include "decode/sel_record.h"

void sel_print_agent_event(FILE* out, const SelRecord& rec);   // 1 "Agent Event"
void sel_print_agent_error(FILE* out, const SelRecord& rec);   // 2 "Agent Error"
