#!/usr/bin/env python3
"""Writes the seed corpus of the interface fuzzer into fuzz/corpus/.

Each seed is a short scenario in the input format described at the top of
fuzz_interface.cpp; the fuzzer mutates from these. Run it again after a
change to that format.
"""
import os
import struct

(RENDER, RESHAPE, FOCALE, INIT, DROT, ROTX, ROTY, ROTZ, DTRANS, TRX, TRY, TRZ, ZOOM,
 SCALEX, SCALEY, SCALEZ, ISIZE, FSIZE, MODE, CUBE, LISTE, MOVE) = range(22)

# Indices into the decoder's tables of special values.
NAN, NEG_NAN, INF, NEG_INF, ZERO, NEG_ZERO, ONE, MINUS_ONE = range(8)
HALF, TWO, FORTY_EIGHT, DENORM, FLT_MIN, FLT_MAX, NEG_FLT_MAX, PLANES_MEET = range(8, 16)
I0, I1, IM1, I2, I9, I48, I49, IM48, I255, I256, I1000, IMAX, IMIN = range(13)
S0, S1, S2, S500, S300, S800, S2048, SM1 = range(8)


def real(x):
    """A raw float argument."""
    return bytes([0x80]) + struct.pack('<f', x)


def special(i):
    return bytes([i])


def matrix(values=None):
    if values is None:
        return bytes([0])
    return bytes([0x40]) + b''.join(v if isinstance(v, bytes) else real(v) for v in values)


def table(lists, nodes, heads):
    """lists: list count; nodes: (x, y, z, r, g, b, link); heads: node indices."""
    out = bytes([2, lists, len(nodes)])
    for n in nodes:
        out += b''.join(real(v) for v in n[:6]) + bytes([n[6]])
    return out + bytes(heads)


def op(code, *args):
    return bytes([code]) + b''.join(args)


CLOUD = table(3, [
    (0.0, 0.0, 0.0, 1.0, 0.5, 0.0, 1),
    (0.3, 0.3, 0.1, 0.0, 1.0, 0.0, 0),
    (-0.3, 0.2, -0.2, 0.0, 0.0, 1.0, 1),
    (0.4, -0.4, 0.4, 1.0, 1.0, 1.0, 0),
], [0, 4, 2])

SEEDS = {
    # The demo's sequence: points of 1 pixel, a 500x500 reshape, frames.
    'demo': op(INIT) + op(MODE, special(I0)) + op(ISIZE, special(I1)) + op(LISTE, CLOUD)
            + op(RESHAPE, special(S500), special(S500)) + op(RENDER, matrix()) * 3,
    # Cubes with every transformation in play, then the overlays switched.
    'cubes': op(INIT) + op(LISTE, CLOUD) + op(RESHAPE, special(S800), special(S300))
             + op(MODE, special(I1)) + op(FSIZE, real(0.05)) + op(DROT, real(15.0))
             + op(ROTX) + op(ROTY) + op(ROTZ) + op(DTRANS, real(0.1)) + op(TRX) + op(TRY)
             + op(TRZ) + op(ZOOM, real(-1.0)) + op(SCALEX, real(2.0)) + op(FOCALE, real(2.0))
             + op(RENDER, matrix([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.3, 0, 0, 1]))
             + op(CUBE, special(I48)) + op(RENDER, matrix()) + op(CUBE, special(I1))
             + op(RENDER, matrix()),
    # Zero sizes and zero focal factors, before and after a real size.
    'zeros': op(FOCALE, special(ZERO)) + op(RESHAPE, special(S0), special(S0))
             + op(RENDER, matrix()) + op(RESHAPE, special(S500), special(S0))
             + op(FOCALE, special(NEG_ZERO)) + op(RENDER, matrix())
             + op(RESHAPE, special(S0), special(S300)) + op(SCALEY, special(ZERO))
             + op(FSIZE, special(ZERO)) + op(ISIZE, special(I0)) + op(RENDER, matrix()),
    # Non-finite and extreme values everywhere.
    'nonfinite': op(RESHAPE, special(S500), special(S500)) + op(FOCALE, special(NAN))
                 + op(FOCALE, special(INF)) + op(FOCALE, special(NEG_INF))
                 + op(FOCALE, special(FLT_MAX)) + op(FOCALE, special(DENORM))
                 + op(FOCALE, special(PLANES_MEET)) + op(FOCALE, special(MINUS_ONE))
                 + op(DROT, special(INF)) + op(ROTX) + op(DTRANS, special(NAN)) + op(TRX)
                 + op(ZOOM, special(NEG_INF)) + op(SCALEZ, special(FLT_MAX))
                 + op(LISTE, CLOUD) + op(MOVE, bytes([0]), special(NAN), special(INF),
                                         special(NEG_INF), special(FLT_MAX), special(NAN),
                                         special(MINUS_ONE))
                 + op(RENDER, matrix([special(NAN)] * 16)) + op(MODE, special(I1))
                 + op(FSIZE, special(INF)) + op(RENDER, matrix([special(FLT_MAX)] * 16)),
    # Tables: null with a huge count, empty, lists sharing a tail, odd modes.
    'tables': op(RESHAPE, special(S300), special(S500))
              + op(LISTE, bytes([0, 0x80]) + struct.pack('<I', 0xffffffff))
              + op(RENDER, matrix()) + op(LISTE, bytes([1])) + op(RENDER, matrix())
              + op(LISTE, table(2, [(0.1, 0.1, 0.0, 1, 0, 0, 1), (0.2, 0.0, 0.0, 0, 1, 0, 0)],
                                [0, 1]))
              + op(ISIZE, special(IMAX)) + op(RENDER, matrix()) + op(ISIZE, special(IM1))
              + op(MODE, special(IM1)) + op(RENDER, matrix()) + op(MODE, special(I2))
              + op(RENDER, matrix()),
}

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
os.makedirs(here, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(here, 'seed-' + name), 'wb') as f:
        f.write(data)
