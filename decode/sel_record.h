// SelRecord: one 64-byte record of the store, kept as the raw big-endian bytes.
//
// Fields are read with explicit loads at their offsets, never by overlaying a struct,
// so that a store decodes alike on the module and on any workstation.
// A 16-byte header (SEL_OFF_RECORD_ID ...) and a payload from SEL_OFF_PAYLOAD laid out
// by the event type.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lib/coding.h"

inline constexpr std::size_t SEL_RECORD_SIZE = 64;

struct SelRecord {
  std::array<unsigned char, SEL_RECORD_SIZE> bytes;
};
static_assert(sizeof(SelRecord) == SEL_RECORD_SIZE);

// The header's fields (record_id, timestamp, severity, event_version, event_type):
// offsets from the start of the record. The id is seld's; the
// bytes from the timestamp on are the logging service's (a request to seld carries them).
inline constexpr std::size_t SEL_OFF_RECORD_ID = 0;      // s32
inline constexpr std::size_t SEL_OFF_TIMESTAMP = 4;      // s32, the module's seconds
inline constexpr std::size_t SEL_OFF_SEVERITY = 8;       // u32
inline constexpr std::size_t SEL_OFF_EVENT_VERSION = 12; // u16
inline constexpr std::size_t SEL_OFF_EVENT_TYPE = 14;    // u16
inline constexpr std::size_t SEL_OFF_BODY = SEL_OFF_TIMESTAMP;  // what a request carries

// Field loaders; `off` is an offset from the start of the record, within it.
inline std::uint8_t sel_u8(const SelRecord& r, std::size_t off) { return r.bytes[off]; }
inline std::uint16_t sel_u16(const SelRecord& r, std::size_t off) {
  return load_be16(r.bytes.data() + off);
}
inline std::uint32_t sel_u32(const SelRecord& r, std::size_t off) {
  return load_be32(r.bytes.data() + off);
}
inline std::int32_t sel_s32(const SelRecord& r, std::size_t off) {
  return static_cast<std::int32_t>(sel_u32(r, off));
}

inline std::int32_t sel_record_id(const SelRecord& r) { return sel_s32(r, SEL_OFF_RECORD_ID); }
inline std::int32_t sel_timestamp(const SelRecord& r) { return sel_s32(r, SEL_OFF_TIMESTAMP); }
inline std::uint32_t sel_severity(const SelRecord& r) { return sel_u32(r, SEL_OFF_SEVERITY); }
inline std::uint16_t sel_event_version(const SelRecord& r) {
  return sel_u16(r, SEL_OFF_EVENT_VERSION);
}
inline std::uint16_t sel_event_type(const SelRecord& r) { return sel_u16(r, SEL_OFF_EVENT_TYPE); }

// Event types (the header's event_type), as the logging services set them.
inline constexpr std::uint16_t SEL_TYPE_DXA = 0;          // fixed texts
inline constexpr std::uint16_t SEL_TYPE_AGENT_EVENT = 1;  // a word of the agent's FIFO
inline constexpr std::uint16_t SEL_TYPE_AGENT_ERROR = 2;  // a failed agent command
inline constexpr std::uint16_t SEL_TYPE_CLI = 3;          // a command at the module's CLI
inline constexpr std::uint16_t SEL_TYPE_FUD = 4;          // a firmware update's result
inline constexpr std::uint16_t SEL_TYPE_TEMPERATURE = 5;
inline constexpr std::uint16_t SEL_TYPE_KALDO = 6;  // the appliance's OS
inline constexpr std::uint16_t SEL_TYPE_CFE = 7;    // the boot firmware
inline constexpr std::uint16_t SEL_TYPE_BIOS = 8;   // POST errors; so are 9 and 13
inline constexpr std::uint16_t SEL_TYPE_BIOS_2 = 9;
inline constexpr std::uint16_t SEL_TYPE_BOOT_LOADER = 10;
inline constexpr std::uint16_t SEL_TYPE_HEARTBEAT = 11;
inline constexpr std::uint16_t SEL_TYPE_TRAP = 12;
inline constexpr std::uint16_t SEL_TYPE_BIOS_3 = 13;
inline constexpr std::uint16_t SEL_TYPE_GENERIC_TEXT = 14;  // a text with a sub-label
inline constexpr std::uint16_t SEL_TYPE_COUNT = 15;         // types from here on are unknown

// Payload fields by type: offsets from the start of the record, and the lengths of the
// text fields (a text ends at its NUL or at its field's end).
inline constexpr std::size_t SEL_OFF_PAYLOAD = 16;
inline constexpr std::size_t SEL_OFF_CODE = 16;  // the code or kind word of most types
inline constexpr std::size_t SEL_OFF_ARG1 = 20;  // the words after it
inline constexpr std::size_t SEL_OFF_ARG2 = 24;
// 1: agent event.
inline constexpr std::size_t SEL_OFF_AGENT_ID = 16;    // u8
inline constexpr std::size_t SEL_OFF_AGENT_WORD = 18;  // u16, the FIFO word
// 2: agent error.
inline constexpr std::size_t SEL_OFF_ERR_CODE = 16;     // u8, 0 for none
inline constexpr std::size_t SEL_OFF_ERR_FLAGS = 17;    // u8, SEL_ERR_HAS_*
inline constexpr std::size_t SEL_OFF_ERR_COMMAND = 18;  // u8
inline constexpr std::size_t SEL_OFF_ERR_PARAM = 20;    // u32
inline constexpr std::size_t SEL_OFF_ERR_STATUS = 24;   // u8
// 3: CLI command.
inline constexpr std::size_t SEL_OFF_CLI_USER = 16;
inline constexpr std::size_t SEL_LEN_CLI_USER = 8;
inline constexpr std::size_t SEL_OFF_CLI_COMMAND = 24;
inline constexpr std::size_t SEL_LEN_CLI_COMMAND = 40;
// 4: firmware update: return code at SEL_OFF_CODE, list choice at SEL_OFF_ARG1.
// 5: temperature.
inline constexpr std::size_t SEL_OFF_TEMP_CURRENT = 16;
inline constexpr std::size_t SEL_OFF_TEMP_LOW = 20;
inline constexpr std::size_t SEL_OFF_TEMP_HIGH = 24;
inline constexpr std::size_t SEL_OFF_TEMP_CRITICAL = 28;
inline constexpr std::size_t SEL_OFF_TEMP_STATE = 32;
// 6: appliance event; the sensor fields are read for the sensor code only.
inline constexpr std::size_t SEL_OFF_SENSOR_NAME = 20;
inline constexpr std::size_t SEL_LEN_SENSOR_NAME = 28;
inline constexpr std::size_t SEL_OFF_SENSOR_UNIT = 48;
inline constexpr std::size_t SEL_OFF_SENSOR_READING = 52;
inline constexpr std::size_t SEL_OFF_SENSOR_LOW = 56;
inline constexpr std::size_t SEL_OFF_SENSOR_HIGH = 60;
inline constexpr std::int32_t SEL_SENSOR_NO_LIMIT = -1;
// 7 boot firmware, 8/9/13 BIOS, 10 boot loader and 11 heartbeat: code or kind at
// SEL_OFF_CODE, their words at SEL_OFF_ARG1 and SEL_OFF_ARG2.
// 12: trap.
inline constexpr std::size_t SEL_OFF_TRAP_TEXT = 20;
inline constexpr std::size_t SEL_LEN_TRAP_TEXT = 44;
// 14: generic text.
inline constexpr std::size_t SEL_OFF_SUBLABEL = 16;  // u8
inline constexpr std::size_t SEL_OFF_GENERIC_TEXT = 17;
inline constexpr std::size_t SEL_LEN_GENERIC_TEXT = 47;

// The agent's FIFO word (type 1). Bit 13 tells a command from a signal change; bits 15
// and 12 mean different things for each.
inline constexpr std::uint16_t SEL_AGENT_HIGH = 0x8000;     // signal asserted; command invalid
inline constexpr std::uint16_t SEL_AGENT_IGNORED = 0x4000;  // never examined
inline constexpr std::uint16_t SEL_AGENT_COMMAND = 0x2000;
inline constexpr std::uint16_t SEL_AGENT_INITIAL =
    0x1000;  // signal: initial state; command: from the DXA
inline constexpr std::uint16_t SEL_AGENT_EVENT_ID_MASK = 0x0fff;
inline constexpr std::uint16_t SEL_AGENT_COMMAND_MASK = 0x00ff;

// What an agent error record (type 2) carries besides its error code.
inline constexpr std::uint8_t SEL_ERR_HAS_COMMAND = 0x01;
inline constexpr std::uint8_t SEL_ERR_HAS_PARAM = 0x02;   // only beside a command
inline constexpr std::uint8_t SEL_ERR_HAS_STATUS = 0x04;  // only beside a command

// The code word of a BIOS record (types 8, 9, 13) that reports a change of the module's
// time instead of a POST error; SEL_OFF_ARG2 then holds the time before the change.
inline constexpr std::uint32_t SEL_TIME_SET_CODE = 0xFFFF0007;

// Prints the text field of `len` bytes at `off` up to its NUL. A text that fills its
// field without a NUL stops at the field's end, which is never past the record's end.
inline void sel_print_text(FILE* out, const SelRecord& r, std::size_t off, std::size_t len) {
  if (off >= SEL_RECORD_SIZE) return;
  if (len > SEL_RECORD_SIZE - off) len = SEL_RECORD_SIZE - off;
  const auto* text = reinterpret_cast<const char*>(r.bytes.data() + off);
  (void)fwrite(text, 1, strnlen(text, len), out);  // output, as printf
}
