// Builds SelRecords field by field, in the store's big-endian layout, for the store
// writer, our stand-ins and the tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "decode/sel_record.h"
#include "lib/coding.h"

class RecordBuilder {
 public:
  RecordBuilder(std::int32_t record_id, std::int32_t timestamp, std::uint32_t severity,
                std::uint16_t event_type, std::uint16_t event_version = 0) {
    s32(SEL_OFF_RECORD_ID, record_id).s32(SEL_OFF_TIMESTAMP, timestamp);
    u32(SEL_OFF_SEVERITY, severity);
    u16(SEL_OFF_EVENT_VERSION, event_version).u16(SEL_OFF_EVENT_TYPE, event_type);
  }
  RecordBuilder& u8(std::size_t off, std::uint8_t v) {
    rec_.bytes[off] = v;
    return *this;
  }
  RecordBuilder& u16(std::size_t off, std::uint16_t v) {
    store_be16(rec_.bytes.data() + off, v);
    return *this;
  }
  RecordBuilder& u32(std::size_t off, std::uint32_t v) {
    store_be32(rec_.bytes.data() + off, v);
    return *this;
  }
  RecordBuilder& s32(std::size_t off, std::int32_t v) {
    return u32(off, static_cast<std::uint32_t>(v));
  }
  // Copies the text without its NUL, cut at the end of the record; the bytes after it
  // keep what they held (zeros unless set).
  RecordBuilder& text(std::size_t off, std::string_view t) {
    const std::size_t n = t.size() < SEL_RECORD_SIZE - off ? t.size() : SEL_RECORD_SIZE - off;
    memcpy(rec_.bytes.data() + off, t.data(), n);
    return *this;
  }
  // Fills `len` bytes at `off` with `byte`.
  RecordBuilder& fill(std::size_t off, std::size_t len, unsigned char byte) {
    memset(rec_.bytes.data() + off, byte, len);
    return *this;
  }
  const SelRecord& record() const { return rec_; }
  operator const SelRecord&() const { return rec_; }  // NOLINT: builders read as records

 private:
  SelRecord rec_{};
};
