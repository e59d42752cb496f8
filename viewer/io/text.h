// Text helpers shared by the readers of text formats: numbers as files spell
// them, and bad tokens quoted safely in a message.
#ifndef VORLIX_VIEWER_FORMATS_TEXT_H
#define VORLIX_VIEWER_FORMATS_TEXT_H

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

// The whole of s[0..n) as a decimal number (a leading '+' allowed, as C
// spells it; nan and inf too). Out of range values become +-inf or the
// underflowed value, as strtod gives them.
bool parse_number(const char *s, std::size_t n, double &out);

} // namespace vv

#endif
