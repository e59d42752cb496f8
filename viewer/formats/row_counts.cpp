// OFF headers say how many rows follow; count them in the file.
#include "viewer/formats/row_counts.h"

#include "viewer/io/lines.h"
#include "viewer/io/numbers.h"
#include "viewer/io/tokens.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

namespace vv {
namespace {

constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();
// Longer lines end the check: the importer decides about such a file.
constexpr std::size_t kMaxLine = std::size_t{1} << 20;

bool next_line(io::Lines &lines, std::string_view &line) {
    std::string ignored; // a source that fails is the importer's to report
    return lines.next(line, ignored) == io::Lines::Got::Line;
}

// Whether a line has something on it, and is not a # comment where
// comments are allowed.
bool holds_data(std::string_view line, bool comments) {
    const char *p = line.data(), *tb, *te;
    return io::next_token(p, p + line.size(), tb, te) && !(comments && *tb == '#');
}

// Counts the lines that hold data until `wanted` are found or the source ends.
std::uint64_t count_rows(io::Lines &lines, std::uint64_t wanted, bool comments) {
    std::uint64_t rows = 0;
    std::string_view line;
    while (rows < wanted && next_line(lines, line))
        rows += holds_data(line, comments);
    return rows;
}

// The vertex and face counts, the first two words of `words` (from
// `first` on); false when they are not whole numbers.
bool counts(const std::string_view *words, std::size_t n, std::size_t first,
            std::uint64_t &vertices, std::uint64_t &faces) {
    const auto whole = [](std::string_view w, std::uint64_t &out) {
        return io::parse_int(w.data(), w.data() + w.size(), out);
    };
    return n >= first + 2 && whole(words[first], vertices) && whole(words[first + 1], faces);
}

// `keyword_line` is the first line, already read.
bool check_off(io::Lines &lines, std::string_view keyword_line, const std::string &path,
               std::string &error) {
    if (keyword_line.find("BINARY") != std::string_view::npos)
        return true;
    // The counts follow the keyword on its line or on the next line that
    // is not a comment.
    std::string_view w[3];
    std::uint64_t vertices = kUnknown, faces = kUnknown;
    if (!counts(w, io::split(keyword_line, w, 3), 1, vertices, faces)) {
        std::string_view line;
        while (next_line(lines, line)) {
            if (!holds_data(line, true))
                continue;
            if (!counts(w, io::split(line, w, 2), 0, vertices, faces))
                return true; // not a header we know; the importer decides
            break;
        }
    }
    if (vertices == kUnknown || faces == kUnknown)
        return true;
    const std::uint64_t v = count_rows(lines, vertices, true);
    if (v < vertices) {
        error = truncated_message(path, vertices, "vertices", v);
        return false;
    }
    const std::uint64_t f = count_rows(lines, faces, true);
    if (f < faces) {
        error = truncated_message(path, faces, "faces", f);
        return false;
    }
    return true;
}

bool is_off_keyword(std::string_view line) {
    // OFF, COFF, NOFF, STOFF, 4OFF, nOFF and the like.
    const std::size_t at = line.find("OFF");
    if (at == std::string_view::npos || at > 4)
        return false;
    for (std::size_t i = 0; i < at; ++i)
        if (!std::strchr("CNST4n", line[i]))
            return false;
    const std::size_t after = at + 3;
    return after == line.size() || line[after] == ' ' || line[after] == '\t' || line[after] == '\r';
}

} // namespace

std::string truncated_message(const std::string &path, std::uint64_t declared,
                              const std::string &what, std::uint64_t found) {
    return path + ": truncated: the header declares " + std::to_string(declared) + " " + what +
           ", the file ends after " + std::to_string(found);
}

bool check_row_counts(io::Source &source, const std::string &path, std::string &error) {
    io::Window window(source);
    io::Lines lines(window, kMaxLine);
    std::string_view line;
    if (!next_line(lines, line))
        return true;
    return !is_off_keyword(line) || check_off(lines, line, path, error);
}

} // namespace vv
