"""Writes a rattled 2x2x2 fcc copper cell (its primitive cell, no edge along
x) with ASE as DIR/ase.cfg, extended CFG with velocities, and the atoms'
wrapped Cartesian positions as ASE holds them as DIR/expected.txt, one
"X Y Z" a line. Exits 77 without ASE (python3-ase), so that the test skips.
"""
import sys

try:
    import ase.io
    from ase.build import bulk
except ImportError:
    sys.exit(77)

out = sys.argv[1]
atoms = bulk("Cu", "fcc", a=3.6).repeat((2, 2, 2))
atoms.rattle(0.05, seed=1)
atoms.set_velocities([[0.01 * i, 0.0, -0.02] for i in range(len(atoms))])
ase.io.write(out + "/ase.cfg", atoms)
with open(out + "/expected.txt", "w") as f:
    for p in atoms.get_scaled_positions(wrap=True) @ atoms.cell[:]:
        f.write("%.17g %.17g %.17g\n" % tuple(p))
