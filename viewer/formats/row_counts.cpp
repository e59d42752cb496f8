// OFF headers say how many rows follow; count them in the file.
#include "viewer/formats/row_counts.h"

#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <sstream>

namespace vv {
namespace {

constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

bool next_line(std::istream &in, std::string &line) {
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

// Whether a line has something on it, and is not a # comment where
// comments are allowed.
bool holds_data(const std::string &line, bool comments) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string::npos && !(comments && line[first] == '#');
}

// Counts the lines that hold data until `wanted` are found or the stream ends.
std::uint64_t count_rows(std::istream &in, std::uint64_t wanted, bool comments) {
    std::uint64_t rows = 0;
    std::string line;
    while (rows < wanted && next_line(in, line))
        rows += holds_data(line, comments);
    return rows;
}

// `line` is the keyword line, already read from `in`.
bool check_off(std::istream &in, std::string line, const std::string &path, std::string &error) {
    if (line.find("BINARY") != std::string::npos)
        return true;
    std::istringstream first(line);
    std::string keyword;
    first >> keyword;
    // The counts follow the keyword on its line or on the next line that
    // is not a comment.
    std::uint64_t vertices = kUnknown, faces = kUnknown;
    first >> vertices >> faces;
    while (!first && next_line(in, line)) {
        if (!holds_data(line, true))
            continue;
        std::istringstream counts(line);
        vertices = faces = kUnknown;
        counts >> vertices >> faces;
        if (!counts)
            return true; // not a header we know; the importer decides
        break;
    }
    if (vertices == kUnknown || faces == kUnknown)
        return true;
    const std::uint64_t v = count_rows(in, vertices, true);
    if (v < vertices) {
        error = truncated_message(path, vertices, "vertices", v);
        return false;
    }
    const std::uint64_t f = count_rows(in, faces, true);
    if (f < faces) {
        error = truncated_message(path, faces, "faces", f);
        return false;
    }
    return true;
}

bool is_off_keyword(const std::string &line) {
    // OFF, COFF, NOFF, STOFF, 4OFF, nOFF and the like.
    const std::size_t at = line.find("OFF");
    if (at == std::string::npos || at > 4)
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

bool check_row_counts(std::istream &in, const std::string &path, std::string &error) {
    std::string line;
    if (!next_line(in, line))
        return true;
    if (is_off_keyword(line))
        return check_off(in, line, path, error);
    return true;
}

} // namespace vv
