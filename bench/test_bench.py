"""Checks of the benchmark's own parts: the card trees it builds and the verdicts it prints.

    python3 -m unittest discover -s bench -p 'test_*.py'

Nothing here times anything.
"""
import importlib.machinery
import importlib.util
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gentree  # noqa: E402


def load_run():
    loader = importlib.machinery.SourceFileLoader("bench_run", os.path.join(HERE, "run"))
    found = importlib.util.spec_from_loader("bench_run", loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


class CardTrees(unittest.TestCase):
    def test_names_every_side_handles_alike(self):
        for files in (1000, 10000):
            entries = gentree.plan(files)
            count, folders, nbytes = gentree.totals(entries)
            self.assertEqual(files, count)
            self.assertGreater(folders, 0)
            seen = set()
            for path, size in entries:
                self.assertTrue(path and not path.startswith("/"), path)
                for part in path.rstrip("/").split("/"):
                    # The PC scan never sees dot names; the card listing reserves two names.
                    self.assertFalse(part.startswith("."), path)
                    self.assertNotIn(part.lower(), ("tarnwick.txt", "memstick.ind"), path)
                # Both sides compare names without case: no two may differ only by it.
                self.assertNotIn(path.lower(), seen, path)
                seen.add(path.lower())
                if path.endswith("/"):
                    self.assertEqual(0, size)
                else:
                    # A zero-length card file is left out of the companion's listing.
                    self.assertGreater(size, 0, path)
                parent = path.rstrip("/").rsplit("/", 1)[0] + "/" if "/" in path.rstrip("/") else ""
                self.assertIn(parent.lower(), seen | {""}, path)  # folders come before their contents
            large = [s for p, s in entries if s >= gentree.MIB]
            self.assertGreaterEqual(len(large), 2)
            # About 20 KB a file on average, so 10000 files make a card of about 200 MB.
            self.assertTrue(15 * gentree.KIB < nbytes / count < 30 * gentree.KIB, nbytes / count)

    def test_the_same_count_gives_the_same_tree(self):
        self.assertEqual(gentree.plan(500), gentree.plan(500))

    def test_written_tree_matches_the_plan(self):
        entries = gentree.plan(120)
        with tempfile.TemporaryDirectory() as root:
            gentree.write(root, entries, seed=1)
            for path, size in entries:
                full = os.path.join(root, path)
                if path.endswith("/"):
                    self.assertTrue(os.path.isdir(full), path)
                else:
                    self.assertEqual(size, os.path.getsize(full), path)
            run = load_run()
            self.assertEqual("", run.same_tree(root, root))
            # The mirror check notices a changed byte and a missing file.
            victim = next(os.path.join(root, p) for p, s in entries if not p.endswith("/"))
            with tempfile.TemporaryDirectory() as other:
                import shutil
                copy = os.path.join(other, "copy")
                shutil.copytree(root, copy)
                rel = os.path.relpath(victim, root)
                with open(os.path.join(copy, rel), "r+b") as f:
                    first = f.read(1)
                    f.seek(0)
                    f.write(bytes([first[0] ^ 0xFF]))
                self.assertIn("contents differ", run.same_tree(root, copy, sample=100000))
                os.remove(os.path.join(copy, rel))
                self.assertIn("files differ", run.same_tree(root, copy))


class Verdicts(unittest.TestCase):
    def setUp(self):
        self.run = load_run()

    def rows(self, tarnwick_no_change=0.5, tarnwick_first=3.0, peak_kb=40 * 1024, check=""):
        R = self.run.Row
        mb = 200e6
        return [
            R(10000, mb, "first", "cp -a", 2.0),
            R(10000, mb, "first", "unison", 10.0),
            R(10000, mb, "no change", "unison", 0.6),
            R(10000, mb, "first", "Tarnwick VFS", tarnwick_first, peak_kb, check),
            R(10000, mb, "no change", "Tarnwick VFS", tarnwick_no_change, peak_kb),
            R(10000, mb, "first", "Win32 copy (floor)", 1.5),
        ]

    def test_targets_met_and_missed_are_told_apart(self):
        text = self.run.targets(self.rows())
        self.assertIn("no slower than unison: met", text)
        self.assertIn("half of cp's throughput: met", text)
        self.assertIn("under 64 MB: met", text)
        text = self.run.targets(self.rows(tarnwick_no_change=0.7, tarnwick_first=4.1, peak_kb=64 * 1024))
        self.assertIn("no slower than unison: NOT met", text)
        self.assertIn("half of cp's throughput: NOT met", text)
        self.assertIn("under 64 MB: NOT met", text)

    def test_a_run_that_copied_the_wrong_thing_never_meets_a_target(self):
        text = self.run.targets(self.rows(tarnwick_first=1.0, check="files differ"))
        self.assertIn("half of cp's throughput: NOT met", text)

    def test_ratios_in_the_table(self):
        table = self.run.table(self.rows())
        line = next(l for l in table.splitlines() if "first | Tarnwick VFS" in l)
        cells = [c.strip() for c in line.strip("|").split("|")]
        self.assertEqual("0.30", cells[6])  # 3.0 s against unison's 10.0 s
        self.assertEqual("1.50", cells[7])  # against cp's 2.0 s
        self.assertEqual("2.00", cells[8])  # against the Win32 floor's 1.5 s
        self.assertEqual("67", cells[12])   # 200 MB in 3 s
        floor = next(l for l in table.splitlines() if "Win32 copy (floor)" in l)
        self.assertEqual("", [c.strip() for c in floor.strip("|").split("|")][8])
        # No floor measured for the no-change run: no ratio rather than a made-up one.
        line = next(l for l in table.splitlines() if "no change | Tarnwick VFS" in l)
        self.assertEqual("", [c.strip() for c in line.strip("|").split("|")][8])

    def test_rounds_give_the_median_of_ratios_taken_within_a_round(self):
        # Round by round the conduit takes 1.2 × the floor, while both move by a third: the
        # ratio is read on the rounds, not on two medians taken apart.
        got = {}
        for op, tool, times in (("first", "Win32 copy (floor)", [1.0, 1.5, 2.0, 1.2, 1.8]),
                                ("first", "Win32 safe copy (floor)", [2.0, 3.0, 4.0, 2.4, 3.6]),
                                ("first", "Tarnwick VFS", [1.2, 1.8, 2.4, 1.44, 2.16]),
                                ("no change", "Win32 walk of both trees (floor)", [0.4, 0.4, 0.4, 0.4, 0.4]),
                                ("no change", "Tarnwick VFS", [0.5, 0.9, 0.5, 0.5, 0.7])):
            got[(op, tool)] = self.run.Samples()
            for t in times:
                got[(op, tool)].add(t)
        rows = self.run.rows_of(10000, 200e6, got)
        first = next(r for r in rows if r.op == "first" and r.tool == "Tarnwick VFS")
        self.assertAlmostEqual(1.2, min(first.ratios))
        self.assertAlmostEqual(1.2, max(first.ratios))
        self.assertAlmostEqual(0.6, self.run.statistics.median(first.safe_ratios))
        line = next(l for l in self.run.table(rows).splitlines() if "first | Tarnwick VFS" in l)
        cells = [c.strip() for c in line.strip("|").split("|")]
        self.assertEqual(["1.80", "67%", "1.20", "1.20–1.20", "0.60"], [cells[4], cells[5], cells[8], cells[9], cells[10]])
        text = self.run.targets(rows)
        self.assertIn("10000 files, first, Tarnwick VFS, at most 1.25 × the Win32 floor: met", text)
        # 1.25 to 2.25 × the walk: a range of 80 % of the median cannot be read either way;
        # the same range wholly above the goal can.
        self.assertIn("10000 files, no change, Tarnwick VFS, at most 1.25 × the Win32 floor: not read", text)
        got[("no change", "Tarnwick VFS")].times = [0.6, 1.0, 0.6, 0.6, 0.8]
        self.assertIn("no change, Tarnwick VFS, at most 1.25 × the Win32 floor: NOT met",
                      self.run.targets(self.run.rows_of(10000, 200e6, got)))


if __name__ == "__main__":
    unittest.main()
