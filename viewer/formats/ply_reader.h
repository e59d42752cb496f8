// The PLY reader's parts (ply.cpp): the header's table of elements and
// properties and the roles it finds in them (ply_header.cpp), and the rows
// read by those roles (ply.cpp).
#ifndef VORLIX_VIEWER_FORMATS_PLY_READER_H
#define VORLIX_VIEWER_FORMATS_PLY_READER_H

#include "viewer/formats/passes.h"
#include "viewer/formats/row_counts.h"
#include "viewer/io/binary.h"
#include "viewer/io/text.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vv {

namespace ply {

using io::Type;

// The header's table of properties, all of them kept: x, y, z and colours
// fill the nodes, the other numbers of a vertex become scalar fields.
struct Property {
    std::string name;
    Type type = Type::U8; // of the value, or of each item of a list
    bool list = false;
    Type count_type = Type::U8; // of a list's item count
};

struct Element {
    std::string name;
    std::uint64_t count = 0;
    std::vector<Property> properties;
    // Bytes per binary row; 0 when a list makes rows differ.
    std::uint64_t row_size() const {
        std::uint64_t n = 0;
        for (const Property &p : properties) {
            if (p.list)
                return 0;
            n += io::size_of(p.type);
        }
        return n;
    }
};

enum class Format { Ascii, Little, Big };

// A colour value of the type at full intensity.
double full_scale(Type t);

// A colour value as 0..1, clamped; 0 for NaN.
float unit(double v, double scale);

class Reader : public SourceReader {
  public:
    using SourceReader::SourceReader;

    bool header();
    bool pass(Tally &t, Cloud *store, const Normaliser *norm);
    bool has_vertices() const { return vertex_ < elements_.size(); }
    // The scalar properties kept for colouring, by name.
    std::vector<std::string> field_names() const;
    // Set before the first pass: a binary file with float x, y and z stores
    // its vertices here as it is measured (see float_vertices).
    Cloud *early = nullptr;
    bool early_stored = false; // all vertex rows are in `early`, raw

  private:
    bool truncated(const Element &e, std::uint64_t found) {
        return fail_whole(truncated_message(
            name_, e.count, printable(e.name.data(), e.name.size()) + " rows", found));
    }
    std::string quote(std::string_view s) const { return quote_token(s.data(), s.size()); }
    bool header_line(std::string_view s);
    bool find_roles();
    bool point(const double *v, Tally &t, Cloud *store, const Normaliser *norm);
    bool ascii_vertices(const Element &e, Tally &t, Cloud *store, const Normaliser *norm);
    bool ascii_skip(const Element &e);
    bool binary_rows(const Element &e, Tally *t, Cloud *store, const Normaliser *norm);
    bool float_vertices(const Element &e, std::uint64_t row_size, Tally &t);
    template <bool swap, bool bytes>
    void store_floats(const char *rows, std::size_t n, std::size_t row_size, Tally &t);

    bool have_format_ = false;
    Format format_ = Format::Ascii;
    bool swap_ = false;
    std::vector<Element> elements_;
    std::size_t vertex_ = 0; // index of the vertex element; the count of them for none
    // Indices into the vertex element's properties: x, y, z, then red,
    // green, blue (-1 for no colour).
    int roles_[6] = {-1, -1, -1, -1, -1, -1};
    double scale_[3] = {1, 1, 1};
    // Byte offset in a binary vertex row and type of each of those roles.
    std::size_t offsets_[6] = {};
    Type types_[6] = {};
    // The vertex properties kept as scalar fields, in the file's order:
    // index, byte offset in a binary row (of fixed size) and type.
    struct Scalar {
        std::size_t property;
        std::size_t offset;
        Type type;
    };
    std::vector<Scalar> scalars_;
};

} // namespace ply

} // namespace vv

#endif
