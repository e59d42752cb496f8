// The usage page: written from the option table and the key table, every
// entry under its heading, within 80 columns, and the options it lists the
// ones the parse knows; the README's copy of the key section.
#include "viewer/app/keys.h"
#include "viewer/app/options.h"
#include "viewer/app/view.h"

#include "viewer_process.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Runs of blanks and newlines as one space, so that wrapped rows compare
// with their table entries.
std::string squeeze(const std::string &s) {
    std::string out;
    for (char c : s) {
        const bool blank = c == ' ' || c == '\n';
        if (!blank)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    return out;
}

// The rows of `page` from the heading line to the next blank line.
std::string under(const std::string &page, const std::string &heading) {
    const std::size_t at = page.find("\n" + heading + "\n");
    if (at == std::string::npos)
        return "";
    const std::size_t end = page.find("\n\n", at + 1);
    return page.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string option_row(const vv::OptionInfo &o) {
    std::string row = o.name;
    if (o.argument != nullptr)
        row += std::string(" ") + o.argument;
    row += std::string(" ") + o.help;
    if (o.fallback != nullptr)
        row += std::string(" (default: ") + o.fallback + ")";
    return row;
}

std::string key_row(const vv::KeyInfo &k) {
    return std::string(k.keys) + " " + k.does;
}

// Each row of `table`, as `row_text` writes it, stands among the rows under
// the heading that `headings` gives its group (the member `group`) in text.
template <class Row, class Group>
void expect_each_under_its_heading(const std::string &text, const std::vector<Row> &table,
                                   Group Row::*group, const std::map<Group, std::string> &headings,
                                   std::string (*row_text)(const Row &)) {
    for (const Row &row : table) {
        const std::string &heading = headings.at(row.*group);
        EXPECT_NE(squeeze(under(text, heading)).find(" " + row_text(row)), std::string::npos)
            << row_text(row) << " under " << heading << ":\n"
            << text;
    }
}

TEST(ViewerUsage, PageListsEveryOptionAndKeyUnderItsHeading) {
    const std::string page = vv::usage_page(true);
    EXPECT_EQ(page.rfind("usage: vorlix-view FILE", 0), 0u) << page;
    ASSERT_EQ(vv::option_table().size(), 20u);
    expect_each_under_its_heading(page, vv::option_table(), &vv::OptionInfo::group,
                                  {{vv::OptionGroup::Input, "Input:"},
                                   {vv::OptionGroup::View, "View:"},
                                   {vv::OptionGroup::Pictures, "Pictures and movies (no window):"},
                                   {vv::OptionGroup::Live, "Live runs:"}},
                                  option_row);
    ASSERT_EQ(vv::key_table().size(), 17u);
    const std::string keys = vv::key_section();
    EXPECT_NE(page.find("\n\n" + keys), std::string::npos) << "the page ends with the keys";
    EXPECT_EQ(page.substr(page.size() - keys.size()), keys);
    expect_each_under_its_heading("\n" + keys, vv::key_table(), &vv::KeyInfo::mode,
                                  {{vv::KeyMode::Every, "Keys:"},
                                   {vv::KeyMode::Cloud, "Keys, point clouds:"},
                                   {vv::KeyMode::Trajectory, "Keys, trajectories:"},
                                   {vv::KeyMode::Live, "Keys, live runs:"}},
                                  key_row);
    // Within 80 columns; below the headings each entry's text starts in its
    // column, on the entry's line or, for an entry too long for it, the next.
    std::set<std::string> alone;
    for (const vv::OptionInfo &o : vv::option_table())
        alone.insert("  " + std::string(o.name) +
                     (o.argument ? std::string(" ") + o.argument : ""));
    for (const vv::KeyInfo &k : vv::key_table())
        alone.insert("  " + std::string(k.keys));
    std::istringstream lines(page);
    bool entries = false;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), vv::kUsageWidth) << line;
        entries = entries || line.empty();
        if (entries && line.size() > 2 && line.rfind("  ", 0) == 0 && line[2] != ' ' &&
            alone.count(line) == 0) {
            EXPECT_TRUE(line.size() > vv::kUsageColumn && line[vv::kUsageColumn - 1] == ' ' &&
                        line[vv::kUsageColumn] != ' ')
                << line;
        }
    }

    // Without LAMMPS's library the page says so, once, among the live runs.
    const std::string note = "(built without LAMMPS's library: --lammps is not available)";
    EXPECT_EQ(page.find(note), std::string::npos);
    const std::string without = vv::usage_page(false);
    EXPECT_NE(under(without, "Live runs:").find("\n" + note), std::string::npos) << without;
    EXPECT_EQ(without.size(), page.size() + note.size() + 1);

    const std::string hint = vv::usage_hint();
    EXPECT_EQ(hint.rfind(vv::usage_synopsis(), 0), 0u);
    EXPECT_NE(hint.find("'vorlix-view --help'"), std::string::npos);
}

// Every key the view answers is in the key section of every mode: among
// the keys of all modes, or of that mode.
TEST(ViewerUsage, KeySectionNamesEveryKeyTheViewAnswers) {
    for (const vv::KeyMode mode :
         {vv::KeyMode::Cloud, vv::KeyMode::Trajectory, vv::KeyMode::Live}) {
        std::set<std::string> named;
        for (const vv::KeyInfo &k : vv::key_table()) {
            if (k.mode != vv::KeyMode::Every && k.mode != mode)
                continue;
            std::istringstream words(std::string(k.keys) + " " + k.does);
            for (std::string w; words >> w;)
                named.insert(w.back() == ',' || w.back() == ';' ? w.substr(0, w.size() - 1) : w);
        }
        for (int c = 1; c < 256; ++c) {
            vv::View v;
            if (v.key(static_cast<unsigned char>(c)) == vv::View::Action::None)
                continue;
            const std::string name =
                c == 27 ? "Esc" : std::string(1, static_cast<char>(std::toupper(c)));
            EXPECT_EQ(named.count(name), 1u)
                << "key " << c << " (" << name << ") is not in mode " << static_cast<int>(mode);
        }
    }
}

// The page lists what the parse knows: each entry taken (with values that
// fit it), an option outside the table refused.
TEST(ViewerUsage, TheParseKnowsEveryOptionOfTheTable) {
    const std::map<std::string, std::vector<const char *>> values = {{"--color-by", {"height"}},
                                                                     {"--frame", {"1"}},
                                                                     {"--range", {"frame"}},
                                                                     {"--size", {"100x100"}},
                                                                     {"--yaw", {"5"}},
                                                                     {"--pitch", {"5"}},
                                                                     {"--zoom", {"2"}},
                                                                     {"--style", {"cubes"}},
                                                                     {"--radius", {"0.5"}},
                                                                     {"--lod", {"10"}},
                                                                     {"--screenshot", {"a.png"}},
                                                                     {"--frames", {"0:2"}},
                                                                     {"--screenshot-dir", {"d"}},
                                                                     {"--movie", {"m.mp4"}},
                                                                     {"--every", {"2"}},
                                                                     {"--steps", {"4"}},
                                                                     {"--var", {"n", "1"}}};
    for (const vv::OptionInfo &o : vv::option_table()) {
        std::vector<const char *> argv = {"vorlix-view", "file", o.name};
        if (o.argument != nullptr) {
            ASSERT_EQ(values.count(o.name), 1u) << o.name;
            for (const char *v : values.at(o.name))
                argv.push_back(v);
        }
        std::string error;
        vv::parse_options(static_cast<int>(argv.size()), argv.data(), error);
        EXPECT_EQ(error.find("unknown option"), std::string::npos) << o.name << ": " << error;
        EXPECT_EQ(error.find("needs a"), std::string::npos) << o.name << ": " << error;
        EXPECT_EQ(error.find("expected"), std::string::npos) << o.name << ": " << error;
    }
    std::string error;
    const char *unknown[] = {"vorlix-view", "file", "--speed", "2"};
    EXPECT_FALSE(vv::parse_options(4, unknown, error));
    EXPECT_EQ(error, "unknown option --speed");
}

// The README shows the key section of --help as it is printed, inside a
// fenced block.
TEST(ViewerUsageReadme, KeySectionIsTheReadmes) {
    const vt::Scratch scratch;
    const vt::Outcome help = vt::run({"--help"}, scratch.path);
    ASSERT_EQ(help.status, 0) << help.err;
    const std::size_t at = help.out.find("\nKeys:\n");
    ASSERT_NE(at, std::string::npos) << help.out;
    const std::string keys = help.out.substr(at + 1);
    std::ifstream in(README);
    ASSERT_TRUE(in) << README;
    std::stringstream readme;
    readme << in.rdbuf();
    const std::string text = readme.str();
    const std::size_t copy = text.find("\n" + keys + "```");
    EXPECT_NE(copy, std::string::npos) << README << " should show, in a fenced block:\n" << keys;
    if (copy != std::string::npos) {
        const std::size_t fence = text.rfind("\n```", copy);
        EXPECT_EQ(text.find('\n', fence + 1), copy) << "the block opens with the keys";
    }
}

} // namespace
