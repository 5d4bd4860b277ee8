// PEM, the text form of certificates and keys: base64 between a line
// "-----BEGIN LABEL-----" and its line "-----END LABEL-----". Text outside the blocks
// (openssl's "Bag Attributes", a comment) is passed over.
#pragma once

#include <cstddef>
#include <string_view>

enum : int {
  FWD_PEM_NONE = 0,         // no further block
  FWD_PEM_BLOCK = 1,        // a block, decoded
  FWD_PEM_UNENDED = -1,     // a BEGIN line without the END line of its label
  FWD_PEM_BAD_BASE64 = -2,  // a character, or padding, that base64 has not
  FWD_PEM_HEADERS = -3,     // "Proc-Type: 4,ENCRYPTED" lines: the old form of an encrypted key
  FWD_PEM_TOO_LARGE = -4,   // more bytes than the room given
};

struct FwdPemBlock {
  std::string_view label;  // "CERTIFICATE", a view into the text
  std::size_t size;        // the bytes decoded
};

// Takes the next block of `text` from `*at` on: its base64 decoded into `der` (`room`
// bytes), and `*at` past its END line. One of the codes above; after a failure `*at` is
// past the BEGIN line.
int fwd_pem_next(std::string_view text, std::size_t* at, unsigned char* der, std::size_t room,
                 FwdPemBlock* block);
