# Brelona from Python: load a sample problem, compute its diagram, list the three-phase
# equilibria and draw the diagram. Cells are marked with "# %%" so editors that know them
# (VS Code, Spyder, Jupytext) run the script cell by cell like a notebook.
#
#   PYTHONPATH=build/python /usr/bin/python3 docs/python_example.py [PICTURE.png]

# %% Load a problem from the sample database and make the grid finer
import os
import sys

import brelona

here = os.path.dirname(os.path.abspath(__file__))
database = os.path.join(here, "..", "data", "Problems.d")
problem = brelona.Problem.from_database(database, "Simple eutectic")
problem.xpoints = problem.ypoints = 300
print(problem)

# %% Run it: the check, every level and the special-point finder
result = problem.run()
print(result)
print(f"{result.levels} levels x {len(result.x_levels)} compositions, "
      f"phases in the grid: {[n for n in result.phase_names if n]}")
for kind, text in result.messages:
    print(f"{kind}: {text}")

# %% Invariant equilibria
# Three-phase tie lines found in the grid (level, and the X of the three phases) ...
for y, x_left, x, x_right in result.nodes:
    print(f"three phases at {y:g}: X = {x_left:.3f}, {x:.3f}, {x_right:.3f}")
# ... and the exact answers of the refinement stage when it has run.
for inv in result.invariants:
    print(f"{inv['type']} at {inv['y']:.2f}: {inv['reaction']}")
for x, y, text in result.special_points:
    print(text)

# %% Draw the diagram and save the picture
import matplotlib

if not os.environ.get("DISPLAY"):
    matplotlib.use("Agg")
import matplotlib.pyplot as plt

ax = result.plot()
picture = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "images", "python_example.png")
ax.figure.tight_layout()
ax.figure.savefig(picture, dpi=100)
print(f"diagram saved to {picture}")
