"""One alloy along a path: Problem.step, Problem.scheil, Problem.activities and the same on a
Result (for the problem that was run). Arrays are numpy arrays, in the shapes brelona-calc step
writes into step.json and scheil.json.

    p = brelona.Problem.from_database("data/Problems.d", "Pb-Sn (assessed, imported from TDB)")
    path = p.step(x=30, wt=True)          # Pb-30 wt% Sn from Ymax down to Ymin
    path.y, path.phases["LIQUID"]["amount"], path.crossings
    s = p.scheil(x=30, wt=True)           # Scheil-Gulliver solidification
    s.fraction_solid, s.end, s.end_y, s.last_liquid
    a = p.activities(y=480)               # along X at 480 K: a.activity_a, a.activity_b
"""

import functools

from ._brelona import (Problem, component_masses, component_names,  # noqa: F401
                       mass_fraction, mole_fraction)


class Path:
    """The equilibrium along a path. Along Y (the default): `y` holds the levels and `x` the
    alloy; along X: `x` holds the compositions and `y` the level. `phases[name]` holds the
    arrays `amount` (0 where the phase is absent) and `x` (NaN there); a phase present twice at
    one point (both sides of a miscibility gap) has its second part as "NAME#2". `mu_a`,
    `mu_b`, `G`, `H`, `Cp` (J/mol, J/(mol K); NaN where not defined, -inf for the potential of an
    absent component), `activity_a`, `activity_b` (referred to `reference_a`/`reference_b`, the
    stable phase of the pure component at each point when empty), `crossings` (every phase
    boundary crossed, at its exact place: dicts of y or x, before, after, approximate),
    `approximate` (bool per point), `error` (why the path ended early; empty when it did not).
    With wt=True compositions are in weight percent of B and amounts are mass fractions."""

    def __init__(self, data):
        self.__dict__.update(data)

    def __repr__(self):
        n = len(self.y if self.along != "x" else self.x)
        return (f"<brelona.Path along {self.along}: {n} points, {len(self.phases)} phases, "
                f"{len(self.crossings)} crossings>")

    @property
    def along_values(self):
        """The path's own variable: `y` along Y, `x` along X."""
        return self.x if self.along == "x" else self.y

    def plot(self, ax=None, scheil=None):
        """Phase fractions along the path with matplotlib, the crossings as dashed lines; with a
        Scheil result, its fraction solid beside the equilibrium's. Returns the axes."""
        import matplotlib.pyplot as plt
        if ax is None:
            _, ax = plt.subplots(figsize=(6.5, 4.5))
        t = self.along_values
        for name, ph in self.phases.items():
            ax.plot(t, ph["amount"], label=name)
        for c in self.crossings:
            ax.axvline(c["x"] if self.along == "x" else c["y"], color="0.5", lw=0.8, ls="--")
        if scheil is not None:
            ax.plot(scheil.y, scheil.fraction_solid, color="black", ls="--", lw=2,
                    label="solid, Scheil")
        ax.set_xlabel({"T": "T, K", "p": "p, bar"}.get(self.along, "X"))
        ax.set_ylabel("phase fraction")
        ax.set_ylim(-0.02, 1.02)
        ax.legend(loc="best", fontsize="small")
        return ax


class Scheil:
    """Scheil-Gulliver solidification: `y` (temperatures, the exact liquidus and events
    included, the eutectic twice: before and after the last liquid froze), `fraction_solid`,
    `liquid_x` (NaN once no liquid is left), `solids[name]["amount"]` (formed so far),
    `liquidus`, `end` ("eutectic", "liquid used up", "lowest temperature", "froze at once",
    "stopped"), `end_y`, `last_liquid` (the fraction of liquid just before the end), `events`
    [(T, text)], `note` (why a path stopped short)."""

    def __init__(self, data):
        self.__dict__.update(data)

    def __repr__(self):
        return (f"<brelona.Scheil: {self.end} at {self.end_y:.6g}, last liquid "
                f"{self.last_liquid:.6g}>")


def _step(self, x=None, *, from_=None, to=None, points=201, along="y", y=None, wt=False,
          reference_a="", reference_b=""):
    """The equilibrium of the alloy x (mole fraction of B; weight percent with wt=True) from
    from_ to to (default: the problem's Ymax down to Ymin) at `points` points, or with
    along="x" along the composition at level y (from_ and to default to 0 and 1, or 0 and
    100 wt%). Returns a Path."""
    return Path(self._step(x, from_=from_, to=to, points=points, along=along, y=y, wt=wt,
                           reference_a=reference_a, reference_b=reference_b))


def _scheil(self, x, *, from_=None, to=None, points=201, wt=False, liquid=""):
    """Scheil-Gulliver solidification of the alloy x (mole fraction of B; weight percent with
    wt=True) from from_ (default Ymax, where it must be all liquid) down to the eutectic or to
    (default Ymin). `liquid` names the liquid phase when the sheet's is not LIQUID or L.
    Returns a Scheil."""
    return Scheil(self._scheil(x, from_=from_, to=to, points=points, wt=wt, liquid=liquid))


def _activities(self, y, *, from_=None, to=None, points=201, wt=False, reference_a="",
                reference_b=""):
    """The activities and chemical potentials along X at level y: a Path along X (its
    activity_a, activity_b, mu_a, mu_b, and the phase regions in its crossings)."""
    return _step(self, None, from_=from_, to=to, points=points, along="x", y=y, wt=wt,
                 reference_a=reference_a, reference_b=reference_b)


Problem.step = _step
Problem.scheil = _scheil
Problem.activities = _activities


def _copy(problem):
    p = Problem(sheet=problem.sheet, y=problem.y, ymin=problem.ymin, ymax=problem.ymax,
                z=problem.z, xpoints=problem.xpoints, ypoints=problem.ypoints, name=problem.name)
    p.refine = problem.refine
    return p


def attach(result_class):
    """Gives results of Problem.run the path methods of the problem as it was run."""
    plain_run = Problem.run

    @functools.wraps(plain_run)
    def run(self):
        result = plain_run(self)
        result._problem = _copy(self)
        return result

    Problem.run = run
    for name in ("step", "scheil", "activities"):
        method = getattr(Problem, name)

        def delegate(self, *args, _method=method, **kwargs):
            return _method(self._problem, *args, **kwargs)

        delegate.__doc__ = method.__doc__
        delegate.__name__ = name
        setattr(result_class, name, delegate)
