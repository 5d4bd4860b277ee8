// Names of the BIOS power-on self-test error codes.
#pragma once

#include <cstdint>
#include <string_view>

// The name of a POST error code, compared on all 32 bits; empty when the BIOS table
// has no such code.
std::string_view sel_post_code_name(std::uint32_t code);

// The code word of a BIOS record that reports a change of the module's time instead of
// a POST error; its second additional data word holds the time before the change.
inline constexpr std::uint32_t SEL_TIME_SET_CODE = 0xFFFF0007;
