"""The Python module against brelona-calc: the same problem run both ways must give the same
numbers, texts and messages; the module's own errors carry the program's exact texts."""

import csv
import json
import math
import os
import shutil
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import brelona

CALC = os.environ["BRELONA_CALC"]
DATA = os.environ["BRELONA_DATA"]
DATABASE = os.path.join(DATA, "Problems.d")

EUTECTIC = "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\nGS=20000*X*(1-X)-T*Sid"


def cli_run(name, out):
    subprocess.run([CALC, "run", DATABASE, "--problem", name, "--out", str(out)], check=True,
                   capture_output=True)
    with open(out / "summary.json", encoding="utf-8") as f:
        summary = json.load(f)
    with open(out / "cells.csv", newline="", encoding="utf-8") as f:
        cells = list(csv.reader(f))
    with open(out / "points.csv", newline="", encoding="utf-8") as f:
        points = list(csv.DictReader(f))
    with open(out / "nodes.csv", newline="", encoding="utf-8") as f:
        nodes = [[float(v) for v in row.values()] for row in csv.DictReader(f)]
    return summary, cells, points, nodes


@pytest.mark.parametrize("name", ["Simple eutectic", "Congruent compound AB with two eutectics",
                                  "Liquid-vapour at 350 K (pressure diagram)"])
def test_arrays_match_the_cli_files(name, tmp_path):
    summary, cells, points, nodes = cli_run(name, tmp_path)
    r = brelona.Problem.from_database(DATABASE, name).run()

    assert r.completed and summary["completed"]
    assert r.levels == summary["levels"]
    assert r.y_parameter == summary["yparameter"]
    assert (r.y_quantity, r.y_unit) == (summary["yquantity"], summary["yunit"])
    assert r.x_levels.tolist() == summary["xlevels"]
    assert [list(t) for t in r.messages] == [[m["type"], m["text"]] for m in summary["messages"]]

    # Cell codes through the name table give the CLI's grid texts; headers give the levels.
    assert r.cells.dtype == np.int32
    assert r.cells.shape == (r.levels, len(r.x_levels)) == (len(cells) - 1, len(cells[0]) - 1)
    texts = np.array(r.phase_names, dtype=object)[r.cells]
    assert texts.tolist() == [row[1:] for row in cells[1:]]
    assert r.phase_names[0] == ""
    assert r.y_levels.tolist() == [float(row[0]) for row in cells[1:]]

    # Diagram points exactly (the CLI writes the shortest text that reads back the same).
    p = r.points
    assert p["level"].tolist() == [int(q["level"]) for q in points]
    assert p["X"].tolist() == [float(q["X"]) for q in points]
    assert p["Y"].tolist() == [float(q["Y"]) for q in points]
    assert p["x"] is p["X"] and p["y"] is p["Y"]  # the names of earlier versions
    assert p["column"].tolist() == [int(q["Column"]) for q in points]
    assert p["name"] == [q["Name"] for q in points]
    # Tie lines hold the same ends, per level, left <= right.
    ends = {}
    for lv, x in zip(p["level"], p["x"]):
        ends.setdefault(int(lv), []).append(x)
    assert len(r.tie_lines) == r.levels
    for lv, segs in enumerate(r.tie_lines):
        assert segs.shape[1] == 2 and np.all(segs[:, 0] <= segs[:, 1])
        assert sorted(segs.ravel().tolist()) == sorted(ends.get(lv, []))

    assert r.nodes.shape == (len(nodes), 4)
    assert r.nodes.tolist() == nodes
    assert r.nodes.tolist() == [[n["Y"], n["XLeft"], n["X"], n["XRight"]] for n in summary["nodes"]]
    assert r.special_points == [(s["X"], s["Y"], s["text"]) for s in summary["special_points"]]
    assert r.mosaic.shape == (500, 400, 3) and r.mosaic.dtype == np.uint8

    # The exact tie lines as arrays, row for row as boundaries.csv.
    with open(tmp_path / "boundaries.csv", newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    b = r.boundaries
    assert b["level"].tolist() == [int(q["level"]) for q in rows]
    assert b["Y"].tolist() == [float(q["Y"]) for q in rows]
    assert b["X_left"].tolist() == [float(q["X_left"]) for q in rows]
    assert b["phase_right"] == [q["phase_right"] for q in rows]

    # One point as brelona-calc point gives it.
    y, x = float(r.y_levels[len(r.y_levels) // 2]), 0.3
    cli = json.loads(subprocess.run([CALC, "point", DATABASE, "--problem", name, "--y", str(y),
                                     "--x", str(x)], check=True, capture_output=True).stdout)
    mine = brelona.Problem.from_database(DATABASE, name).point(y, x)
    assert [(q["name"], q["X"], q["amount"]) for q in mine["phases"]] == \
        [(q["name"], q["X"], q["amount"]) for q in cli["phases"]]
    assert (mine["muA"], mine["muB"], mine["G"]) == (cli["muA"], cli["muB"], cli["G"])


@pytest.mark.parametrize("expr, variables, expected", [
    ("-8.31441*(X*LN(X)+(1-X)*LN(1-X))", {"X": 0.3},
     -8.31441 * (0.3 * math.log(0.3) + 0.7 * math.log(0.7))),
    ("X*(13000-9.6*T)+(1-X)*(12000-8.5*T)+20000*X*(1-X)", {"X": 0.25, "T": 800.0},
     0.25 * (13000 - 9.6 * 800) + 0.75 * (12000 - 8.5 * 800) + 20000 * 0.25 * 0.75),
    ("2^10+SQRT(16)", {}, 1028.0),
])
def test_evaluate_values(expr, variables, expected):
    assert brelona.evaluate(expr, **variables) == pytest.approx(expected, rel=1e-14)


@pytest.mark.parametrize("expr, variables, kind, message", [
    ("1/X", {"X": 0}, brelona.MathError, "Floating point division by zero"),
    ("LN(X)", {"X": -1}, brelona.MathError, "Invalid floating point operation"),
    ("1+", {}, brelona.ExpressionError, "Error parsing expression:\r1+"),
    ("1 + 2", {}, brelona.ExpressionError, "Expression has blanks"),
])
def test_evaluate_errors_carry_the_program_texts(expr, variables, kind, message):
    with pytest.raises(kind) as e:
        brelona.evaluate(expr, **variables)
    assert str(e.value) == message
    assert isinstance(e.value, brelona.Error) and isinstance(e.value, RuntimeError)


def test_run_errors():
    with pytest.raises(brelona.CheckFailed) as e:
        brelona.Problem(sheet="GL=1\nGS=2", ymin=600, ymax=400).run()
    assert str(e.value) == "Ymax must be more that Ymin"
    assert e.value.messages == [("warning", "Ymax must be more that Ymin")]

    with pytest.raises(brelona.MathError, match="^Floating point division by zero$") as e:
        brelona.Problem(sheet="GL=1/(T-600)\nGS=0", ymin=400, ymax=800, xpoints=4,
                        ypoints=4).run()
    assert (e.value.phase, e.value.x, e.value.y) == ("L", 0.0, 600.0)
    with pytest.raises(brelona.ExpressionError) as e:
        brelona.Problem(sheet="GL=0\n  GS = 1 + FOO", ymin=400, ymax=800).run()
    assert str(e.value).startswith("line 2 (GS), column 12: Error parsing expression:")
    assert (e.value.line, e.value.key, e.value.column) == (2, "GS", 12)
    with pytest.raises(ValueError):
        brelona.Problem(sheet=EUTECTIC, y="volume", ymin=1, ymax=2)
    # Checked as brelona-calc checks its options (a NaN Ymin ran to an incomplete result).
    for fields, message in ((dict(ymin=math.nan), "Ymin needs a number"),
                            (dict(xpoints=0), "XPoints needs a positive integer"),
                            (dict(ypoints=-3), "YPoints needs a positive integer")):
        p = brelona.Problem(sheet=EUTECTIC, **{"ymin": 300, "ymax": 1100, **fields})
        with pytest.raises(ValueError, match=f"^{message}$"):
            p.run()
    tdb = os.path.join(os.environ["BRELONA_TDB"], "pbsn.tdb")
    for bounds in (dict(tmin=-100), dict(tmax=1e300)):
        with pytest.raises(ValueError, match="needs a temperature in K$"):
            brelona.import_tdb(tdb, components=("PB", "SN"), **bounds)


def test_inputs_that_once_killed_the_interpreter_run():
    repro = os.path.join(os.path.dirname(__file__), "..", "repro")
    with open(os.path.join(repro, "run_hull_stack_overflow.txt")) as f:
        r = brelona.Problem(sheet=f.read(), ymin=300, ymax=560).run()
    assert len(r.y_levels) == 101
    one = brelona.Problem.from_json(os.path.join(repro, "run_ymin_eq_ymax.json")).run()
    assert one.y_levels.tolist() == [700.0]


def test_ctrl_c_stops_a_run_between_levels():
    # A run of 4000 levels takes over a second; Ctrl-C was honoured only when it ended.
    p = brelona.Problem(sheet=EUTECTIC, ymin=300, ymax=1100, xpoints=4000, ypoints=4000)
    sent = []
    timer = threading.Timer(0.1, lambda: (sent.append(time.monotonic()),
                                          os.kill(os.getpid(), signal.SIGINT)))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        p.run()
    assert time.monotonic() - sent[0] < 0.5
    timer.join()


def test_problem_fields_reach_the_engine():
    p = brelona.Problem(sheet=EUTECTIC, ymin=300, ymax=1100, xpoints=10, ypoints=20)
    p.xpoints, p.ypoints, p.ymax = 20, 8, 1000
    r = p.run()
    assert len(r.x_levels) == 21
    assert r.y_levels[:2].tolist() == [1000.0, 1000.0 - 700.0 / 8]
    p.y = "pressure"
    assert p.y == "Pressure, bar"


def test_the_interpreter_runs_while_the_engine_works():
    p = brelona.Problem(sheet=EUTECTIC, ymin=300, ymax=1100, xpoints=600, ypoints=600)
    span = {}

    def work():
        span["start"] = time.perf_counter()
        p.run()
        span["end"] = time.perf_counter()

    t = threading.Thread(target=work)
    ticks = []
    t.start()
    while t.is_alive():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    t.join()
    a, b = span["start"], span["end"]
    middle = [x for x in ticks if a + (b - a) / 3 < x < b - (b - a) / 3]
    assert b - a > 0.01 and middle, "the main thread did not run during the engine's run"


def test_runs_in_threads_at_once_equal_runs_one_by_one():
    names = ["Simple eutectic", "Peritectic", "Congruent compound AB with two eutectics"]
    problems = [brelona.Problem.from_database(DATABASE, n) for n in names]
    alone = [p.run() for p in problems]
    together = [None] * len(problems)

    def work(i):
        together[i] = problems[i].run()

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(problems))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for a, b in zip(alone, together):
        assert np.array_equal(a.cells, b.cells) and a.phase_names == b.phase_names
        assert np.array_equal(a.nodes, b.nodes) and a.invariants == b.invariants


def test_plot_draws_what_the_diagram_draws():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    p = brelona.Problem(sheet="% components: PB SN\n" + EUTECTIC, ymin=300, ymax=1100)
    r = p.run()
    ax = r.plot()
    black = [ln for ln in ax.lines if ln.get_color() == "black"]
    # Two edges of each two-phase field, and the eutectic at its exact level.
    assert len(black) == len(r.boundary_lines()) + 1 and len(r.boundary_lines()) >= 4
    assert black[-1].get_ydata().tolist() == [r.invariants[0]["Y"]] * 2
    assert black[0].get_xdata().tolist() == r.boundary_lines()[0][3].tolist()
    texts = {t.get_text() for t in ax.texts}
    assert {"PB", "SN", "L", "S", "S + L", "L + S", "S + S"} == texts  # components and fields
    assert ax.get_xlabel() == "X (mole fraction of SN)"
    # Without the exact values: the grid's points and three-phase lines.
    p.refine = False
    ax = p.run().plot(labels=False)
    assert np.array_equal(ax.collections[0].get_offsets()[:, 0], p.run().points["X"])
    assert [ln.get_color() for ln in ax.lines] == ["tab:red"]


def test_pip_installs_the_module_into_a_virtual_environment(tmp_path):
    build = os.environ.get("BRELONA_BUILD")
    if not build:
        pytest.skip("BRELONA_BUILD names no build tree")
    root = os.path.dirname(DATA)
    src = tmp_path / "src"
    shutil.copytree(os.path.join(root, "python"), src,
                    ignore=shutil.ignore_patterns("build", "*.egg-info"))
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env.update(BRELONA_SOURCE_DIR=root, BRELONA_CMAKE_BUILD_DIR=build)
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", tmp_path / "env"],
                   check=True)
    subprocess.run([tmp_path / "env/bin/pip", "install", "-q", "--no-build-isolation",
                    "--no-index", src], env=env, check=True)
    out = subprocess.run([tmp_path / "env/bin/python", "-c",
                          "import brelona; print(brelona.__file__); "
                          "print(brelona.Problem(sheet='GL=0', ymin=1, ymax=2).point(1.5, 0.5))"],
                         cwd=tmp_path, env=env, capture_output=True, text=True, check=True).stdout
    assert out.startswith(str(tmp_path / "env")) and "'phases'" in out


def test_problems_from_files(tmp_path):
    table = brelona.Problem.from_database(DATABASE, "simple EUTECTIC")
    listed = brelona.Problem.from_json(os.path.join(DATA, "problems.json"), "Simple eutectic")
    one = tmp_path / "one.json"
    one.write_text(json.dumps({"ProblemName": "One", "Functs": EUTECTIC, "Yparameter":
                               "Pressure, bar", "Ymin": 1, "Ymax": 2, "Zvalue": 900}))
    single = brelona.Problem.from_json(str(one))
    for p in (table, listed):
        assert (p.name, p.y, p.ymin, p.ymax, p.z, p.xpoints, p.ypoints) == \
            ("Simple eutectic", "Temperature, K", 500, 1200, 1, 100, 140)
    assert table.sheet == listed.sheet and "GL" in table.sheet
    assert (single.name, single.y, single.z, single.sheet) == ("One", "Pressure, bar", 900, EUTECTIC)

    with pytest.raises(brelona.Error, match="^problem 'Nope' not found in .*; it holds 'Al-Ni"):
        brelona.Problem.from_database(DATABASE, "Nope")
    with pytest.raises(ValueError, match=r"holds \d+ problems: give the name of one"):
        brelona.Problem.from_database(DATABASE)
    with pytest.raises(brelona.Error, match="^Error opening table: "):
        brelona.Problem.from_database(os.path.join(DATA, "problems.json"), "x")


def test_the_example_script_runs(tmp_path):
    picture = tmp_path / "diagram.png"
    env = dict(os.environ, MPLBACKEND="Agg")
    env.pop("DISPLAY", None)
    out = subprocess.run(["/usr/bin/python3", os.path.join(os.environ["BRELONA_DOCS"],
                                                            "python_example.py"), str(picture)],
                         env=env, check=True, capture_output=True, text=True).stdout
    r = brelona.Problem.from_database(os.path.join(DATA, "Problems.d"), "Simple eutectic")
    r.xpoints = r.ypoints = 300
    r = r.run()
    assert f"three phases at {r.nodes[0][0]:g}:" in out
    assert all(text in out for _, _, text in r.special_points)
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_refined_eutectic_is_a_common_tangent():
    # The sample's sheet, written out here: GL and GS per mole, ideal mixing entropy.
    def sid(x):
        return -8.31441 * (x * math.log(x) + (1 - x) * math.log(1 - x))

    def gl(x, t):
        return (1 - x) * 10 * (900 - t) + x * 10 * (1100 - t) - t * sid(x)

    def gs(x, t):
        return 25000 * x * (1 - x) - t * sid(x)

    def slope(g, x, t, h=1e-7):
        return (g(x + h, t) - g(x - h, t)) / (2 * h)

    p = brelona.Problem.from_database(DATABASE, "Simple eutectic")
    p.refine = False
    assert not p.run().refined["ran"]
    p.refine = True
    r = p.run()
    assert r.refined["ran"] and len(r.invariants) == 1
    inv = r.invariants[0]
    assert inv["type"] == "eutectic" and not inv["approximate"]
    (n1, x1), (n2, x2), (n3, x3) = inv["phases"]
    assert (n1, n2, n3) == ("S", "L", "S")
    t = inv["Y"]
    assert inv["y"] == t  # the name of earlier versions
    assert abs(t - r.nodes[0][0]) <= (1200 - 500) / 140  # within one level of the grid's node
    chord = (gs(x3, t) - gs(x1, t)) / (x3 - x1)
    assert gl(x2, t) == pytest.approx(gs(x1, t) + chord * (x2 - x1), abs=1e-6)
    for g, x in ((gs, x1), (gl, x2), (gs, x3)):
        assert slope(g, x, t) == pytest.approx(chord, abs=1e-3)


def test_import_tdb_matches_the_cli():
    tdb = os.path.join(os.environ["BRELONA_TDB"], "pbsn.tdb")
    p = brelona.import_tdb(tdb, components=("PB", "SN"))
    cli = subprocess.run([CALC, "import-tdb", tdb, "--components", "PB", "SN"],
                         capture_output=True, text=True)
    assert cli.returncode == 0
    assert p.sheet.replace("\r", "") + "\n" == cli.stdout
    assert p.name == "PB-SN (pbsn.tdb)" and p.y == "Temperature, K"
    skipped = [line for line in cli.stderr.splitlines() if line.startswith("skipped phase ")]
    assert [f"skipped phase {ph}: {why}" for ph, why in p.skipped] == skipped

    bad = subprocess.run([CALC, "import-tdb", tdb, "--components", "PB", "XX"],
                         capture_output=True, text=True)
    with pytest.raises(brelona.Error) as e:
        brelona.import_tdb(tdb, components=("PB", "XX"))
    assert "error: " + str(e.value) + "\n" == bad.stderr


def test_compounds_are_named_by_their_lines_key():
    sheet = ("GL = (1-X)*10*(1000-T) + X*10*(1100-T) - T*Sid\nGS = 30000*X*(1-X) - T*Sid\n"
             "X=0.5; GAB = -2000 - 5.763*T\n")
    r = brelona.Problem(sheet=sheet, ymin=600, ymax=1300).run()
    names = {n for inv in r.invariants for n, _ in inv["phases"]}
    assert "AB" in names and "0.5" not in names
    assert all("0.5" not in c["phases"] for c in r.refined["congruent_points"])
