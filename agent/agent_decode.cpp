#include "agent/agent_decode.h"

// Decoders of the agent's records; filled in with the agent tables.
void sel_print_agent_event(FILE*, const SelRecord&) {}
void sel_print_agent_error(FILE*, const SelRecord&) {}
