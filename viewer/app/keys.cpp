#include "viewer/app/keys.h"

#include <algorithm>

namespace vv {

const std::vector<KeyInfo> &key_table() {
    using M = KeyMode;
    static const std::vector<KeyInfo> table = {
        {"left-drag", "orbit", M::Every},
        {"middle-/shift-drag", "pan", M::Every},
        {"wheel, + -", "zoom, also = _ (a subsample drawn while moving)", M::Every},
        {"P O C", "points, spheres, cubes (lit)", M::Every},
        {"[ ]", "smaller, larger points, spheres or cubes", M::Every},
        {"B", "bounding cube on or off", M::Every},
        {"R", "back to the first view", M::Every},
        {"S", "save the window into vorlix-view-N.png", M::Every},
        {"Esc", "quit", M::Every},
        {"F", "next colouring: height, the file's colours, each field", M::Cloud},
        {"F", "next colouring: element, type, each column", M::Trajectory},
        {"Space", "play, pause", M::Trajectory},
        {"Left Right", "a frame back, forward", M::Trajectory},
        {"Home End", "first, last frame", M::Trajectory},
        {", .", "slower, faster (also < >)", M::Trajectory},
        {"F", "next colouring: type, the --color-by quantity", M::Live},
        {"Space", "pause, resume the run", M::Live},
    };
    return table;
}

std::string usage_row(const std::string &left, const std::string &text) {
    std::string row = "  " + left;
    // Text that would start past its column starts on the next line in it.
    if (row.size() + 1 > kUsageColumn)
        row += "\n" + std::string(kUsageColumn, ' ');
    else
        row.resize(kUsageColumn, ' ');
    // Each line takes the words that fit from where it starts; a word longer
    // than the room goes on a line of its own.
    std::size_t column = kUsageColumn, at = 0;
    while (at < text.size()) {
        const std::size_t room = kUsageWidth > column + 20 ? kUsageWidth - column : 20;
        std::size_t end = text.size();
        if (end - at > room) {
            end = text.rfind(' ', at + room);
            if (end == std::string::npos || end <= at)
                end = std::min(text.find(' ', at + room), text.size());
        }
        row += text.substr(at, end - at) + "\n";
        at = std::min(end + 1, text.size());
        if (at < text.size()) {
            row += std::string(kUsageColumn, ' ');
            column = kUsageColumn;
        }
    }
    return row;
}

std::string key_section() {
    static const UsageHeading<KeyMode> headings[] = {{KeyMode::Every, "Keys:"},
                                                     {KeyMode::Cloud, "Keys, point clouds:"},
                                                     {KeyMode::Trajectory, "Keys, trajectories:"},
                                                     {KeyMode::Live, "Keys, live runs:"}};
    std::string section;
    for (const auto &h : headings) {
        if (!section.empty())
            section += "\n";
        section += std::string(h.heading) + "\n";
        for (const KeyInfo &k : key_table()) {
            if (k.mode != h.group)
                continue;
            section += usage_row(k.keys, k.does);
        }
    }
    return section;
}

} // namespace vv
