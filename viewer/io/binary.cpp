#include "viewer/io/binary.h"

namespace vv {

namespace io {

double decode(const char *p, Type t, bool swap) {
    switch (t) {
#define VV_DECODE(kind, ctype)                                                                     \
    case Type::kind:                                                                               \
        return static_cast<double>(swap ? load<ctype, true>(p) : load<ctype, false>(p));
        VV_DECODE(I8, std::int8_t)
        VV_DECODE(U8, std::uint8_t)
        VV_DECODE(I16, std::int16_t)
        VV_DECODE(U16, std::uint16_t)
        VV_DECODE(I32, std::int32_t)
        VV_DECODE(U32, std::uint32_t)
        VV_DECODE(F32, float)
        VV_DECODE(F64, double)
        VV_DECODE(I64, std::int64_t)
        VV_DECODE(U64, std::uint64_t)
#undef VV_DECODE
    }
    return 0;
}

} // namespace io

} // namespace vv
