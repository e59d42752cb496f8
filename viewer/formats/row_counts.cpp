// PLY and OFF headers say how many rows follow; count them in the file.
#include "viewer/formats/row_counts.h"

#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <sstream>
#include <vector>

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

std::string declared_message(const std::string &path, std::uint64_t declared,
                             const std::string &what, std::uint64_t found) {
    return path + ": truncated: the header declares " + std::to_string(declared) + " " + what +
           ", the file ends after " + std::to_string(found);
}

int ply_type_size(const std::string &type) {
    static const struct {
        const char *name;
        int size;
    } kTypes[] = {{"char", 1},  {"int8", 1},    {"uchar", 1},  {"uint8", 1},
                  {"short", 2}, {"int16", 2},   {"ushort", 2}, {"uint16", 2},
                  {"int", 4},   {"int32", 4},   {"uint", 4},   {"uint32", 4},
                  {"float", 4}, {"float32", 4}, {"double", 8}, {"float64", 8}};
    for (const auto &t : kTypes)
        if (type == t.name)
            return t.size;
    return 0;
}

struct PlyProperty {
    int size = 0;       // of the value, or of each item of a list
    int count_size = 0; // of a list's item count; 0 for a plain value
};

struct PlyElement {
    std::string name;
    std::uint64_t count = 0;
    std::vector<PlyProperty> properties;
};

std::uint64_t read_unsigned(const char *bytes, int size, bool big_endian) {
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i)
        v = v << 8 | static_cast<unsigned char>(bytes[big_endian ? i : size - 1 - i]);
    return v;
}

// Walks the rows of one binary element; returns how many are complete.
std::uint64_t binary_rows(std::istream &in, const PlyElement &e, bool big_endian) {
    bool fixed = true;
    std::uint64_t row = 0;
    for (const PlyProperty &p : e.properties) {
        fixed = fixed && p.count_size == 0;
        row += static_cast<std::uint64_t>(p.size);
    }
    if (fixed) {
        // Rows of one size: the file length tells how many are there.
        const std::streampos here = in.tellg();
        in.seekg(0, std::ios::end);
        const std::uint64_t left = static_cast<std::uint64_t>(in.tellg() - here);
        const std::uint64_t rows = row == 0 ? e.count : std::min(e.count, left / row);
        in.seekg(here + static_cast<std::streamoff>(rows * row));
        return rows;
    }
    // Rows with lists: read each row's item counts. Sequential reads keep
    // this within the stream's buffer, however many rows there are.
    char count[4];
    for (std::uint64_t r = 0; r < e.count; ++r)
        for (const PlyProperty &p : e.properties) {
            std::uint64_t items = 1;
            if (p.count_size != 0) {
                if (!in.read(count, p.count_size))
                    return r;
                items = read_unsigned(count, p.count_size, big_endian);
            }
            const auto bytes =
                static_cast<std::streamsize>(items * static_cast<std::uint64_t>(p.size));
            if (bytes > 0 && in.ignore(bytes).gcount() < bytes)
                return r;
        }
    return e.count;
}

bool check_ply(std::istream &in, const std::string &path, std::string &error) {
    std::string line, format;
    std::vector<PlyElement> elements;
    bool ended = false;
    // A header is a few dozen lines; give up on anything far longer.
    for (int n = 0; n < 10000 && next_line(in, line); ++n) {
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "end_header") {
            ended = true;
            break;
        }
        if (keyword == "format") {
            words >> format;
        } else if (keyword == "element") {
            PlyElement e;
            words >> e.name >> e.count;
            if (!words)
                return true; // a header the importer will reject in its own words
            elements.push_back(e);
        } else if (keyword == "property" && !elements.empty()) {
            std::string type, item;
            words >> type;
            PlyProperty p;
            if (type == "list") {
                words >> type >> item;
                // Item counts are integers of at most four bytes, so that
                // a count times an item's size cannot overflow.
                p.count_size = type.find("float") == std::string::npos && type != "double"
                                   ? ply_type_size(type)
                                   : 0;
                p.size = ply_type_size(item);
                if (p.count_size == 0 || p.count_size > 4 || p.size == 0)
                    return true;
            } else if ((p.size = ply_type_size(type)) == 0) {
                return true;
            }
            elements.back().properties.push_back(p);
        }
    }
    if (!ended)
        return true;
    const bool ascii = format == "ascii";
    if (!ascii && format != "binary_little_endian" && format != "binary_big_endian")
        return true;
    for (const PlyElement &e : elements) {
        const std::uint64_t rows = ascii ? count_rows(in, e.count, false)
                                         : binary_rows(in, e, format == "binary_big_endian");
        if (rows < e.count) {
            error = declared_message(path, e.count, e.name + " rows", rows);
            return false;
        }
    }
    return true;
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
        error = declared_message(path, vertices, "vertices", v);
        return false;
    }
    const std::uint64_t f = count_rows(in, faces, true);
    if (f < faces) {
        error = declared_message(path, faces, "faces", f);
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

bool check_row_counts(std::istream &in, const std::string &path, std::string &error) {
    std::string line;
    if (!next_line(in, line))
        return true;
    if (line == "ply")
        return check_ply(in, path, error);
    if (is_off_keyword(line))
        return check_off(in, line, path, error);
    return true;
}

} // namespace vv
