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
    def mosaic(self):
        """The mosaic picture, (height, width, 3) uint8 RGB."""
        return self._raw._mosaic()

    def plot(self, ax=None, tie_lines=40, wt=False):
        """Draws the diagram with matplotlib on `ax` (a new figure when None) and returns the
        axes: phase boundaries as points, the tie lines of about `tie_lines` levels spread
        evenly (0: none), three-phase lines and special points. With wt=True the X axis is the
        weight percent of B (the sheet must give the components' masses)."""
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
        pts = self.points
        if len(pts["x"]):
            ax.scatter(shown(pts["x"]), pts["y"], s=2, color="tab:blue", zorder=2,
                       label="phase boundaries")
        for i, (y, xl, _x, xr) in enumerate(self.nodes):
            ax.plot(shown([xl, xr]), [y, y], color="tab:red", lw=1.5, zorder=3,
                    label="three-phase lines" if i == 0 else None)
        if self.special_points:
            sx, sy, _ = zip(*self.special_points)
            ax.scatter(shown(sx), sy, s=18, color="black", marker="o", zorder=4,
                       label="special points")
        ax.set_xlim(0, 100 if wt else 1)
        ax.set_xlabel("weight percent of B" if wt else "X (mole fraction of B)")
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
from .path import (Path, Scheil, component_masses, mass_fraction,  # noqa: E402,F401
                   mole_fraction)

_path.attach(Result)
__all__ += ["Path", "Scheil", "component_masses", "mass_fraction", "mole_fraction"]
