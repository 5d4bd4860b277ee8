// Decoders of the agent's records: signal and command events (type 1) and failed
// commands (type 2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "lib/sel_record.h"

void sel_print_agent_event(FILE* out, const SelRecord& rec);   // 1 "Agent Event"
void sel_print_agent_error(FILE* out, const SelRecord& rec);   // 2 "Agent Error"

// The pieces of an error record's text.

// "<error text>. ", or "Unknown error 0x%02x. " for a code without a text.
void agent_print_error(FILE* out, std::uint8_t error_code);

// Writes the name of the command code into buf, from the first command list that has
// it (list 1 before list 2, first entry first), or "unknown"; cut to size - 1
// characters and a NUL. Returns 0.
int agent_find_cmd_str(std::uint8_t code, char* buf, std::size_t size);

// Nothing for status 0, else "Command status 0x%02x: " and the status text. Returns 0.
int agent_print_cmd_status(FILE* out, std::uint8_t status);
