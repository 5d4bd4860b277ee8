// SelRecord: one 64-byte record of the store, kept as the raw big-endian bytes.
//
// Fields are read with explicit loads at their offsets, never by overlaying a struct,
// so that a store decodes alike on the module and on any workstation.
// Header: record_id @0 (s32), timestamp @4 (s32), severity @8 (u32),
// event_version @12 (u16), event_type @14 (u16); the payload @16 is laid out by type.
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

inline std::int32_t sel_record_id(const SelRecord& r) { return sel_s32(r, 0); }
inline std::int32_t sel_timestamp(const SelRecord& r) { return sel_s32(r, 4); }
inline std::uint32_t sel_severity(const SelRecord& r) { return sel_u32(r, 8); }
inline std::uint16_t sel_event_version(const SelRecord& r) { return sel_u16(r, 12); }
inline std::uint16_t sel_event_type(const SelRecord& r) { return sel_u16(r, 14); }

// Prints the text field of `len` bytes at `off` up to its NUL. A text that fills its
// field without a NUL stops at the field's end, which is never past the record's end.
inline void sel_print_text(FILE* out, const SelRecord& r, std::size_t off, std::size_t len) {
  if (off >= SEL_RECORD_SIZE) return;
  if (len > SEL_RECORD_SIZE - off) len = SEL_RECORD_SIZE - off;
  const auto* text = reinterpret_cast<const char*>(r.bytes.data() + off);
  (void)fwrite(text, 1, strnlen(text, len), out);  // output, as printf
}
