"""Writes three frames with ASE (5, 8, 3 atoms; an upright then a turned
triclinic cell; forces, charges, a logical array) as DIR/ext.xyz, its gzip
DIR/ext.xyz.gz and DIR/plain.xyz, and what ASE reads back from ext.xyz as
DIR/expected.txt: "frame N STEP PBC*3 CELL*9", then N "atom SYMBOL X Y Z FX FY
FZ CHARGE". Exits 77 without ASE (python3-ase), so that the test skips.
"""
import gzip
import shutil
import sys

try:
    import numpy as np
    import ase.io
    from ase import Atoms
except ImportError:
    sys.exit(77)

out = sys.argv[1]
rng = np.random.default_rng(7)
upright = [[4.0, 0.0, 0.0], [1.2, 5.0, 0.0], [-0.7, 0.9, 6.0]]
turned = [[3.0, 1.0, 0.5], [-0.5, 4.0, 1.0], [0.3, -0.8, 5.5]]
frames = []
for k, (n, cell) in enumerate([(5, upright), (8, turned), (3, upright)]):
    symbols = [["H", "O", "Cu"][i % 3] for i in range(n)]
    atoms = Atoms(symbols, positions=rng.uniform(-2, 8, (n, 3)), cell=cell,
                  pbc=[True, True, k == 1])
    atoms.arrays["forces"] = rng.normal(size=(n, 3))
    atoms.set_initial_charges(rng.uniform(-1, 1, n))
    atoms.arrays["fixed"] = np.arange(n) % 2 == 0
    atoms.info["step"] = 100 * k + 40
    atoms.info["note"] = "two words"
    frames.append(atoms)

ase.io.write(out + "/ext.xyz", frames, format="extxyz")
ase.io.write(out + "/plain.xyz", frames, format="xyz")
with open(out + "/ext.xyz", "rb") as src, gzip.open(out + "/ext.xyz.gz", "wb") as dst:
    shutil.copyfileobj(src, dst)

with open(out + "/expected.txt", "w") as f:
    for atoms in ase.io.read(out + "/ext.xyz", index=":"):
        cell = " ".join(repr(float(v)) for v in atoms.cell.array.ravel())
        pbc = " ".join(str(int(p)) for p in atoms.pbc)
        f.write(f"frame {len(atoms)} {atoms.info['step']} {pbc} {cell}\n")
        forces = atoms.arrays["forces"]
        charges = atoms.arrays["initial_charges"]
        for i, atom in enumerate(atoms):
            values = list(atom.position) + list(forces[i]) + [charges[i]]
            f.write("atom " + atom.symbol + " " + " ".join(repr(float(v)) for v in values) + "\n")
