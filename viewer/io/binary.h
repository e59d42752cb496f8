// Binary values of the usual numeric types, in either byte order.
#ifndef VORLIX_VIEWER_IO_BINARY_H
#define VORLIX_VIEWER_IO_BINARY_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vv {

namespace io {

// The numeric types of binary files (PLY names all but the 64-bit integers,
// which PCD has).
enum class Type : std::uint8_t { I8, U8, I16, U16, I32, U32, F32, F64, I64, U64 };

inline std::size_t size_of(Type t) {
    static const std::size_t kSizes[] = {1, 1, 2, 2, 4, 4, 4, 8, 8, 8};
    return kSizes[static_cast<int>(t)];
}

inline bool host_is_little_endian() {
    const std::uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// Whether values in a file of that byte order need their bytes reversed.
inline bool needs_swap(bool file_little_endian) {
    return file_little_endian != host_is_little_endian();
}

// One value of a binary row, its bytes reversed when `swap`.
double decode(const char *p, Type t, bool swap);

// A value of type T at p (any alignment), its bytes reversed when `swap`:
// for the hot loops that know their types.
template <typename T, bool swap> T load(const char *p) {
    unsigned char b[sizeof(T)];
    std::memcpy(b, p, sizeof b);
    if (swap)
        for (std::size_t i = 0; i < sizeof b / 2; ++i) {
            const unsigned char t = b[i];
            b[i] = b[sizeof b - 1 - i];
            b[sizeof b - 1 - i] = t;
        }
    T v;
    std::memcpy(&v, b, sizeof v);
    return v;
}

// A little-endian value at p, whatever the host's order.
template <typename T> T load_little(const char *p) {
    return host_is_little_endian() ? load<T, false>(p) : load<T, true>(p);
}

} // namespace io

} // namespace vv

#endif
