"""Phase diagrams of binary systems A-B from the Gibbs energies of their phases.

A thin layer over the engine of Brelona and brelona-calc: the same phase sheets, the same
sweep, the same special points.

    import brelona
    p = brelona.Problem(sheet="GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\\n"
                              "GS=20000*X*(1-X)-T*Sid",
                        y="temperature", ymin=300, ymax=1100, xpoints=200, ypoints=200)
    r = p.run()
    r.nodes          # three-phase tie lines: Y, XLeft, X, XRight
    r.plot()         # with matplotlib
"""

from functools import cached_property

import numpy as np

from ._brelona import (Error, ExpressionError, MathError, Problem, RawResult, evaluate,
                       import_tdb)

__all__ = ["Problem", "Result", "Error", "ExpressionError", "MathError", "CheckFailed",
           "evaluate", "import_tdb"]


class CheckFailed(Error):
    """The problem check refused the problem. The message is the program's own text (its
    messages joined by line breaks); `messages` lists every (type, text) of the run."""

    def __init__(self, message, messages):
        super().__init__(message)
        self.messages = messages


class Result:
    """The results of one run. Arrays are numpy arrays; levels are the rows of the cell grid
    (index 0 is the first level computed, at Ymax)."""

    def __init__(self, raw):
        self._raw = raw
        self.name = raw.name
        self.y_parameter = raw.y_parameter  # the display text, "Temperature, K"
        self.y_quantity = raw.y_quantity  # "temperature" or "pressure"
        self.y_unit = raw.y_unit  # "K" or "bar"
        self.completed = raw.completed
        self.levels = raw.levels
        self.seconds = raw.seconds
        self.messages = raw.messages

    def __repr__(self):
        return (f"<brelona.Result '{self.name}': {self.levels} levels, "
                f"{len(self.nodes)} nodes, {len(self.invariants)} invariants>")

    @cached_property
    def x_levels(self):
        """Composition (mole fraction of B) of each grid column, ascending."""
        return self._raw.x_levels

    @cached_property
    def y_levels(self):
        """Y (temperature or pressure) of each level, as the grid's row headers show it."""
        return self._raw.y_levels

    @cached_property
    def _cells(self):
        return self._raw._cells()

    @property
    def cells(self):
        """Cell codes, an int32 array (levels x X levels); phase_names[code] is the text."""
        return self._cells[0]

    @property
    def phase_names(self):
        """The distinct cell texts; code 0 is the empty cell."""
        return self._cells[1]

    @cached_property
    def points(self):
        """Every end of a two-phase segment: dict of arrays level, X, Y, column and the list
        name (solution phase name, or a point phase's composition text); x and y are the same
        arrays under the names of earlier versions."""
        return self._raw._points()

    @cached_property
    def tie_lines(self):
        """Per level an (n, 2) array of the left and right X of each two-phase segment."""
        return self._raw._tie_lines()

    @cached_property
    def nodes(self):
        """Three-phase tie lines, an (n, 4) array of Y, XLeft, X, XRight."""
        return self._raw._nodes()

    @cached_property
    def special_points(self):
        """Other special points: list of (X, Y, text), e.g. (0.0, 1358.0, "T(X = 0) = 1358 K")."""
        return self._raw._special_points()

    @cached_property
    def refined(self):
        """Exact answers of the refinement stage (empty lists when it has not run)."""
        return self._raw._refined()

    @property
    def invariants(self):
        return self.refined["invariants"]

    @cached_property
    def boundaries(self):
        """Every tie line solved exactly, as boundaries.csv lists them: dict of arrays level,
        Y, X_left, X_right, approximate and the lists phase_left, phase_right (empty when the
        exact values were not computed)."""
        rows = self.refined["boundaries"]
        return {
            "level": np.array([b["level"] for b in rows], dtype=np.int32),
            "Y": np.array([b["Y"] for b in rows], dtype=float),
            "phase_left": [b["phase_left"] for b in rows],
            "X_left": np.array([b["X_left"] for b in rows], dtype=float),
            "phase_right": [b["phase_right"] for b in rows],
            "X_right": np.array([b["X_right"] for b in rows], dtype=float),
            "approximate": np.array([b["approximate"] for b in rows], dtype=bool),
        }

    def boundary_lines(self):
        """The phase boundaries as lines: a list of (phase_left, phase_right, side, X, Y), side
        "left" or "right", X and Y arrays along one edge of one two-phase field from level to
        level. A field's edge is followed while the same pair of phases comes in the same place
        among the level's tie lines; a level without it ends the line."""
        b = self.boundaries
        lines, open_ = [], {}
        count = {}
        for i in range(len(b["level"])):
            level = int(b["level"][i])
            pair = (b["phase_left"][i], b["phase_right"][i])
            if count.get("level") != level:
                count = {"level": level}
            k = count.get(pair, 0)
            count[pair] = k + 1
            key = pair + (k,)
            line = open_.get(key)
            if line is None or line["level"] != level - 1:
                line = {"X_left": [], "X_right": [], "Y": []}
                lines.append((pair, line))
                open_[key] = line
            line["level"] = level
            line["X_left"].append(b["X_left"][i])
            line["X_right"].append(b["X_right"][i])
            line["Y"].append(b["Y"][i])
        out = []
        for (left, right), line in lines:
            y = np.array(line["Y"])
            out.append((left, right, "left", np.array(line["X_left"]), y))
            out.append((left, right, "right", np.array(line["X_right"]), y))
        return out

    def field_labels(self):
        """Where the diagram names its fields: a list of (text, X, Y), one for each connected
        region of the grid with the same phase ("L") or pair of phases ("S + L": the phases
        on either side of a two-phase cell along its level), at the cell of the region
        nearest its centre. A grid of more than about 200 000 cells is looked at coarser."""
        cells, names = self.cells, self.phase_names
        step = max(1, int(np.ceil(np.sqrt(cells.size / 200000))))
        cells = cells[::step, ::step]
        xs, ys = self.x_levels[::step], self.y_levels[:self.levels][::step]
        rows, cols = cells.shape
        texts = np.empty(cells.shape, dtype=object)
        for r in range(rows):
            row = cells[r]
            filled = np.flatnonzero([bool(names[c]) for c in row])
            for c in range(cols):
                if names[row[c]]:
                    texts[r, c] = names[row[c]]
                    continue
                k = np.searchsorted(filled, c)
                left = names[row[filled[k - 1]]] if k > 0 else ""
                right = names[row[filled[k]]] if k < len(filled) else ""
                texts[r, c] = f"{left} + {right}" if left and right else ""
        seen = np.zeros(cells.shape, dtype=bool)
        out = []
        for r0 in range(rows):
            for c0 in range(cols):
                text = texts[r0, c0]
                if seen[r0, c0] or not text:
                    continue
                stack, members = [(r0, c0)], []
                seen[r0, c0] = True
                while stack:
                    r, c = stack.pop()
                    members.append((r, c))
                    for rr, cc in ((r + 1, c), (r - 1, c), (r, c + 1), (r, c - 1)):
                        if 0 <= rr < rows and 0 <= cc < cols and not seen[rr, cc] \
                                and texts[rr, cc] == text:
                            seen[rr, cc] = True
                            stack.append((rr, cc))
                if len(members) < 4:
                    continue
                m = np.array(members, dtype=float)
                centre = m.mean(axis=0)
                r, c = members[int(np.argmin(((m - centre) ** 2).sum(axis=1)))]
                out.append((text, float(xs[c]), float(ys[r])))
        return out

    @cached_property
    def mosaic(self):
        """The mosaic picture, (height, width, 3) uint8 RGB."""
        return self._raw._mosaic()

    def plot(self, ax=None, tie_lines=0, wt=False, grid_points=False, labels=True):
        """Draws the diagram with matplotlib on `ax` (a new figure when None) and returns the
        axes, as the program's diagram draws it: the phase boundaries as lines through the
        exact tie-line ends, the three-phase lines at their exact levels, the congruent and
        critical points, the fields named, the components on the X axis. Without the exact
        values (refine off) the grid's boundary points and three-phase lines. grid_points=True
        adds the grid's points; tie_lines=N the tie lines of about N levels spread evenly.
        With wt=True the X axis is the weight percent of B (the sheet must give the masses)."""
        try:
            import matplotlib.pyplot as plt
        except ImportError as e:  # optional dependency
            raise ImportError("Result.plot needs matplotlib (e.g. apt install "
                              "python3-matplotlib)") from e
        shown = _composition_axis(self, wt)
        if ax is None:
            _, ax = plt.subplots(figsize=(6, 5))
        if tie_lines and self.levels:
            step = max(1, len(self.tie_lines) // tie_lines)
            for k in range(0, min(len(self.tie_lines), len(self.y_levels)), step):
                y = self.y_levels[k]
                for xl, xr in self.tie_lines[k]:
                    ax.plot(shown([xl, xr]), [y, y], color="0.8", lw=0.6, zorder=1)
        exact = self.refined["ran"]
        pts = self.points
        if (grid_points or not exact) and len(pts["X"]):
            ax.scatter(shown(pts["X"]), pts["Y"], s=2, color="tab:blue", zorder=2,
                       label="grid's boundary points")
        if exact:
            for _left, _right, _side, x, y in self.boundary_lines():
                ax.plot(shown(x), y, color="black", lw=1.2, zorder=3)
            for inv in self.invariants:
                xs = [x for _, x in inv["phases"]]
                ax.plot(shown([min(xs), max(xs)]), [inv["Y"], inv["Y"]], color="black", lw=1.2,
                        zorder=3)
            marks = [(c["X"], c["Y"]) for c in self.refined["congruent_points"]] + \
                [(c["X"], c["Y"]) for c in self.refined["critical_points"]]
            if marks:
                mx, my = zip(*marks)
                ax.scatter(shown(mx), my, s=14, color="black", zorder=4)
        else:
            for i, (y, xl, _x, xr) in enumerate(self.nodes):
                ax.plot(shown([xl, xr]), [y, y], color="tab:red", lw=1.5, zorder=3,
                        label="three-phase lines" if i == 0 else None)
            if self.special_points:
                sx, sy, _ = zip(*self.special_points)
                ax.scatter(shown(sx), sy, s=18, color="black", marker="o", zorder=4,
                           label="special points")
        if labels and self.levels:
            for text, x, y in self.field_labels():
                ax.text(float(shown([x])[0]), y, text, ha="center", va="center",
                        fontsize="small", zorder=5)
        names = component_names(self._problem) if hasattr(self, "_problem") else None
        ax.set_xlim(0, 100 if wt else 1)
        b = names[1] if names else "B"
        ax.set_xlabel(f"weight percent of {b}" if wt else f"X (mole fraction of {b})")
        if names:
            ax.annotate(names[0], (0, 0), xytext=(0, -18), xycoords="axes fraction",
                        textcoords="offset points", ha="center", va="top", fontweight="bold")
            ax.annotate(names[1], (1, 0), xytext=(0, -18), xycoords="axes fraction",
                        textcoords="offset points", ha="center", va="top", fontweight="bold")
        ax.set_ylabel(self.y_parameter)
        if self.name:
            ax.set_title(self.name)
        if ax.get_legend_handles_labels()[0]:
            ax.legend(loc="best", fontsize="small")
        return ax


def _composition_axis(result, wt):
    """The X values as a plot of `result` shows them: mole fractions, or with wt the weight
    percent of B from the masses of the problem's sheet."""
    if not wt:
        return lambda x: np.asarray(x, dtype=float)
    problem = getattr(result, "_problem", None)
    masses = component_masses(problem) if problem is not None else None
    if masses is None:
        raise Error("weight percent needs the components' masses: the sheet names no elements "
                    "in '% components:' and gives no '% masses:' line")
    to_mass = np.vectorize(lambda x: 100 * mass_fraction(x, *masses), otypes=[float])
    return lambda x: to_mass(np.asarray(x, dtype=float))


def _run(self):
    """Runs the check, every level and the special-point finder; returns a Result. The Python
    interpreter lock is released while the engine works. Raises CheckFailed when the check
    refuses the problem, ExpressionError / MathError when a formula fails."""
    raw = self._run()
    if raw.check_failed:
        msgs = raw.messages
        text = "\n".join(t for kind, t in msgs if kind in ("warning", "error")) or \
            "\n".join(t for _, t in msgs)
        raise CheckFailed(text, msgs)
    return Result(raw)


Problem.run = _run

# One alloy along a path: Problem.step, .scheil, .activities, and the same on a Result.
from . import path as _path  # noqa: E402
from .path import (Path, Scheil, component_masses, component_names,  # noqa: E402,F401
                   mass_fraction, mole_fraction)

_path.attach(Result)
__all__ += ["Path", "Scheil", "component_masses", "component_names", "mass_fraction",
            "mole_fraction"]
