// The keys and pointer actions of vorlix-view's window, in one table: what
// each does and in which mode. The usage page's key section is written from
// it; the README carries that section as --help prints it.
#ifndef VORLIX_VIEWER_KEYS_H
#define VORLIX_VIEWER_KEYS_H

#include <cstddef>
#include <string>
#include <vector>

namespace vv {

// The input the window shows: every mode, or one of them alone.
enum class KeyMode { Every, Cloud, Trajectory, Live };

struct KeyInfo {
    const char *keys; // as the user knows them: "+ -", "Left Right", "left-drag"
    const char *does;
    KeyMode mode;
};

// Every key and pointer action, in the key section's order.
const std::vector<KeyInfo> &key_table();

// One row of the usage page (options and keys alike): `left` indented by
// two, `text` from column kUsageColumn, wrapped by words within
// kUsageWidth; ends with a newline.
constexpr std::size_t kUsageColumn = 24, kUsageWidth = 80;
std::string usage_row(const std::string &left, const std::string &text);

// A heading of the usage page over the entries of one group of a table.
template <typename Group> struct UsageHeading {
    Group group;
    const char *heading;
};

// The usage page's key section: a heading for each mode, then its keys one
// per line; ends with a newline.
std::string key_section();

} // namespace vv

#endif
