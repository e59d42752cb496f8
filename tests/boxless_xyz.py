"""Writes one two-frame, three-atom trajectory without a cell as plain XYZ,
once by ASE (format="xyz") as DIR/ase.xyz and once by MDAnalysis's
XYZWriter as DIR/mda.xyz, and the positions as DIR/positions.txt: one line
"X Y Z" per atom, frame after frame. Exits 77 when either is missing
(python3-ase, python3-mdanalysis), so that the test skips.
"""
import sys
import warnings

warnings.filterwarnings("ignore")
try:
    import numpy as np
    import ase.io
    from ase import Atoms
    import MDAnalysis as mda
except ImportError:
    sys.exit(77)

out = sys.argv[1]
# The atoms span 4 along x in the first frame and move apart to 10 in the
# second, so the run's bounds are not either frame's.
frames = [
    np.array([[1.0, 2.0, 3.0], [5.0, 2.0, 3.0], [3.0, 4.0, 3.0]]),
    np.array([[-2.0, 2.0, 3.0], [8.0, 2.0, 3.0], [3.0, 5.0, 4.0]]),
]
symbols = ["Cu", "O", "C"]
ase.io.write(out + "/ase.xyz", [Atoms(symbols, positions=p) for p in frames], format="xyz")

u = mda.Universe.empty(3, trajectory=True)
u.add_TopologyAttr("names", symbols)
u.add_TopologyAttr("elements", symbols)
with mda.Writer(out + "/mda.xyz", n_atoms=3) as w:
    for p in frames:
        u.atoms.positions = p
        w.write(u.atoms)

with open(out + "/positions.txt", "w") as f:
    for p in frames:
        for x, y, z in p:
            f.write(f"{x!r} {y!r} {z!r}\n")
