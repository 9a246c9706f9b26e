# One alloy from Python: Pb-30 wt% Sn cooled from the liquid, at equilibrium and by Scheil,
# with the phase fractions by mass drawn together.
#
#   PYTHONPATH=build/python /usr/bin/python3 docs/python_path_example.py [PICTURE.png]

# %% The path at equilibrium and the Scheil path of the same alloy
import os
import sys

import brelona

here = os.path.dirname(os.path.abspath(__file__))
problem = brelona.Problem.from_database(os.path.join(here, "..", "data", "Problems.d"),
                                        "Pb-Sn (assessed, imported from TDB)")
path = problem.step(x=30, wt=True, points=401)
scheil = problem.scheil(x=30, wt=True, points=401)
for c in path.crossings:
    print(f"{c['y']:.2f} K: {' + '.join(c['before'])} -> {' + '.join(c['after'])}")
print(f"Scheil: {scheil.end} at {scheil.end_y:.2f} K, "
      f"last liquid {scheil.last_liquid:.4f} of the mass")

# %% Draw both
import matplotlib

if not os.environ.get("DISPLAY"):
    matplotlib.use("Agg")

ax = path.plot(scheil=scheil)
ax.set_ylabel("phase fraction (by mass)")
ax.set_title("Pb-30 wt% Sn")
picture = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "images", "python_path.png")
ax.figure.tight_layout()
ax.figure.savefig(picture, dpi=100)
print(f"plot saved to {picture}")
