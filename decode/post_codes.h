// Names of the BIOS power-on self-test error codes.
#pragma once

#include <cstdint>
#include <string_view>

// The name of a POST error code, compared on all 32 bits; empty when the BIOS table
// has no such code.
std::string_view sel_post_code_name(std::uint32_t code);
