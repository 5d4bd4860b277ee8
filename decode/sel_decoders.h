// The decoders of the event types, one per type, as the record printer's table names
// them. Each writes the text after the record's labels.
//
// The agent's two are declared here and defined in agent/, beside the agent's tables:
// the printer needs only their names, and agent/ builds on the record's layout here.
#pragma once

#include <cstdio>

#include "decode/sel_record.h"

// A decoder writes the text of one event type after the record's labels; no newline.
using SelDecoder = void (*)(FILE* out, const SelRecord& rec);

// Agent events and failed agent commands (agent/).
void sel_print_agent_event(FILE* out, const SelRecord& rec);    // 1 "Agent Event"
void sel_print_agent_error(FILE* out, const SelRecord& rec);    // 2 "Agent Error"

// System events.
void sel_print_generic(FILE* out, const SelRecord& rec);        // 0 "DXA"
void sel_print_cli(FILE* out, const SelRecord& rec);            // 3 "DXA CLI"
void sel_print_fud(FILE* out, const SelRecord& rec);            // 4 "Fud"
void sel_print_temperature(FILE* out, const SelRecord& rec);    // 5 "DXA Temperature"
void sel_print_heartbeat(FILE* out, const SelRecord& rec);      // 11 "Heartbeat"
void sel_print_trap(FILE* out, const SelRecord& rec);           // 12 "Trap Event"
void sel_print_generic_text(FILE* out, const SelRecord& rec);   // 14 sub-labelled text

// Appliance, boot firmware, BIOS and boot loader events.
void sel_print_kaldo_event(FILE* out, const SelRecord& rec);    // 6 "KALDO"
void sel_print_cfe_event(FILE* out, const SelRecord& rec);      // 7 "CFE"
void sel_print_post_event(FILE* out, const SelRecord& rec);     // 8, 9, 13 "BIOS"
void sel_print_boot_loader(FILE* out, const SelRecord& rec);    // 10 "Boot Loader"
