// The pieces of an agent error record's text (type 2), which sel_print_agent_error
// (decode/sel_decoders.h) puts together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// "<error text>. ", or "Unknown error 0x%02x. " for a code without a text.
void agent_print_error(FILE* out, std::uint8_t error_code);

// Writes the name of the command code into buf, from the first command list that has
// it (list 1 before list 2, first entry first), or "unknown"; cut to size - 1
// characters and a NUL.
void agent_find_cmd_str(std::uint8_t code, char* buf, std::size_t size);

// Nothing for status 0, else "Command status 0x%02x: " and the status text.
void agent_print_cmd_status(FILE* out, std::uint8_t status);
