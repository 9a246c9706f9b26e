"""One alloy along a path from Python against brelona-calc step: the same numbers both ways, the
problem as it was run, and the errors."""

import json
import math
import os
import subprocess

import numpy as np
import pytest

import brelona

CALC = os.environ["BRELONA_CALC"]
DATABASE = os.path.join(os.environ["BRELONA_DATA"], "Problems.d")
PBSN = "Pb-Sn (assessed, imported from TDB)"


def same(array, values):
    """numpy values against JSON ones (null for NaN), exactly."""
    assert len(array) == len(values)
    for a, v in zip(array, values):
        if v is None:
            assert math.isnan(a)
        else:
            assert a == v


def test_step_and_scheil_match_the_cli(tmp_path):
    subprocess.run([CALC, "step", DATABASE, "--problem", PBSN, "--x", "30", "--wt", "--scheil",
                    "--points", "60", "--format", "none", "--out", str(tmp_path)],
                   check=True, capture_output=True)
    with open(tmp_path / "step.json", encoding="utf-8") as f:
        step = json.load(f)
    with open(tmp_path / "scheil.json", encoding="utf-8") as f:
        scheil = json.load(f)

    p = brelona.Problem.from_database(DATABASE, PBSN)
    path = p.step(30, wt=True, points=60)
    assert isinstance(path.y, np.ndarray)
    same(path.y, step["y"])
    assert path.x == step["x"]
    assert list(path.phases) == list(step["phases"])
    for name, ph in path.phases.items():
        same(ph["amount"], step["phases"][name]["amount"])
        same(ph["x"], step["phases"][name]["x"])
    for key in ("activity_a", "activity_b", "G", "H", "Cp"):
        same(getattr(path, key), step[key])
    assert path.crossings == step["crossings"]
    assert not path.approximate.any()

    s = p.scheil(30, wt=True, points=60)
    same(s.y, scheil["y"])
    same(s.fraction_solid, scheil["fraction_solid"])
    same(s.liquid_x, scheil["liquid_x"])
    for name, solid in s.solids.items():
        same(solid["amount"], scheil["solids"][name]["amount"])
    assert (s.end, s.end_y, s.last_liquid) == (scheil["end"], scheil["end_y"],
                                               scheil["last_liquid"])


def test_result_paths_use_the_problem_as_it_was_run():
    p = brelona.Problem(sheet="GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\nGS=20000*X*(1-X)-T*Sid",
                        ymin=300, ymax=1100, xpoints=50, ypoints=50)
    r = p.run()
    p.sheet = "GL=0"
    path = r.step(0.3, points=21)
    assert path.phases["L"]["amount"][0] == 1
    assert [c["after"] for c in path.crossings][-1] == ["S", "S"]
    a = r.activities(1100, points=11)
    # The ideal liquid: a = x.
    assert np.allclose(a.activity_b, a.x, rtol=0, atol=1e-12)
    assert r.scheil(0.3).end == "eutectic"


def test_wrong_requests_raise_with_their_reason():
    p = brelona.Problem.from_database(DATABASE, "Simple eutectic")
    with pytest.raises(ValueError, match="step needs the alloy"):
        p.step()
    with pytest.raises(ValueError, match="along must be"):
        p.step(0.5, along="z")
    with pytest.raises(ValueError, match="wt needs the components' masses"):
        p.step(30, wt=True)
    with pytest.raises(ValueError, match="the path needs 2 to 1000000 points"):
        p.step(0.5, points=1)
    with pytest.raises(brelona.Error, match="no phase Q of pure A"):
        p.step(0.5, reference_a="Q")
    vapour = brelona.Problem.from_database(DATABASE, "Liquid-vapour at 350 K (pressure diagram)")
    with pytest.raises(ValueError, match="scheil needs a problem along temperature"):
        vapour.scheil(0.5)
    assert vapour.step(0.5, points=5).along == "p"


def test_mass_fraction_both_ways():
    masses = brelona.component_masses(brelona.Problem.from_database(DATABASE, PBSN))
    assert masses == (207.2, 118.71)
    x = brelona.mole_fraction(0.3, *masses)
    assert abs(brelona.mass_fraction(x, *masses) - 0.3) < 1e-15
    assert brelona.component_masses(brelona.Problem.from_database(DATABASE, "Simple eutectic")) \
        is None


def test_the_path_example_script_runs(tmp_path):
    picture = tmp_path / "path.png"
    env = dict(os.environ, MPLBACKEND="Agg")
    env.pop("DISPLAY", None)
    out = subprocess.run(["/usr/bin/python3", os.path.join(os.environ["BRELONA_DOCS"],
                                                            "python_path_example.py"),
                          str(picture)], env=env, check=True, capture_output=True, text=True).stdout
    assert "454.56 K: FCC_A1 + LIQUID -> FCC_A1 + BCT_A5" in out
    assert "Scheil: eutectic at 454.56 K, last liquid 0.3512 of the mass" in out
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_the_diagram_in_weight_percent():
    import matplotlib
    matplotlib.use("Agg")
    p = brelona.Problem.from_database(DATABASE, PBSN)
    p.xpoints, p.ypoints = 60, 40
    r = p.run()
    ax = r.plot(wt=True, grid_points=True)
    assert ax.get_xlim() == (0, 100) and "weight percent" in ax.get_xlabel()
    shown = ax.collections[0].get_offsets()[:, 0]
    masses = brelona.component_masses(p)
    assert np.allclose(shown, [100 * brelona.mass_fraction(x, *masses) for x in r.points["x"]],
                       rtol=0, atol=1e-12)
    plain = brelona.Problem.from_database(DATABASE, "Simple eutectic")
    plain.xpoints = plain.ypoints = 20
    with pytest.raises(brelona.Error, match="weight percent needs the components' masses"):
        plain.run().plot(wt=True)
