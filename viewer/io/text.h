// Bytes from a file shown safely in a message: quoted tokens and printable
// names. (parse_number lives in numbers.h; it is named here too, where the
// trajectory readers look for it.)
#ifndef VORLIX_VIEWER_IO_TEXT_H
#define VORLIX_VIEWER_IO_TEXT_H

#include "viewer/io/numbers.h"

#include <cstddef>
#include <string>

namespace vv {

// A token from a file, quoted for a message: at most 32 bytes of it, in single
// quotes, "..." after the quote when it was longer. Control bytes and bytes
// of 0x80 and above are written as \xNN, so that a message is plain ASCII
// whatever the file held.
std::string quote_token(const char *s, std::size_t n);

// The bytes as they are, but for control bytes and bytes of 0x80 and above,
// written as \xNN: for names from a file that a message shows unquoted.
std::string printable(const char *s, std::size_t n);

using io::parse_number;

} // namespace vv

#endif
