#!/usr/bin/env python3
"""Compares two runs of quality.py: the mean of each metric per corpus, format
and entry over the pictures both runs have, the change, and on how many
pictures the new run is better or worse than the old one by more than the
tie margin.

Usage: compare.py OLD NEW [--entries A,B,...] [--as OLDENTRY=NEWENTRY]...
  OLD, NEW: a results.csv or results.json, or the folder holding one.
  --as compares an entry of OLD with a differently named one of NEW, e.g.
  --as tessera:pre-fs=tessera:best.
"""

import argparse
import csv
import json
import sys
from pathlib import Path

from quality import HIGHER_IS_BETTER, METRICS, SHOWN, TIE


def load(path):
    p = Path(path)
    if p.is_dir():
        p = p / "results.csv" if (p / "results.csv").exists() else p / "results.json"
    if p.suffix == ".json":
        rows = json.loads(p.read_text())["rows"]
    else:
        with open(p, newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f))
    out = {}
    for r in rows:
        vals = {}
        for m in METRICS:
            v = r.get(m)
            if v in (None, "", "inf"):
                vals[m] = None
            else:
                vals[m] = float(v)
        if vals["de2000"] is None:
            continue
        out[(r["corpus"], r["format"], r["entry"], r["picture"])] = vals
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--entries", help="comma-separated entries to show (default: all in both)")
    ap.add_argument("--as", dest="pairs", action="append", default=[], metavar="OLD=NEW")
    args = ap.parse_args()
    old, new = load(args.old), load(args.new)
    pairs = {}
    for p in args.pairs:
        a, _, b = p.partition("=")
        if not b:
            ap.error(f"--as {p!r}: OLDENTRY=NEWENTRY")
        pairs[a] = b
    groups = {}
    for (corpus, fmt, entry, pic), vals in old.items():
        target = pairs.get(entry, entry)
        nv = new.get((corpus, fmt, target, pic))
        if nv is None:
            continue
        name = entry if target == entry else f"{entry} -> {target}"
        groups.setdefault((corpus, fmt, name), []).append((vals, nv))
    if args.entries:
        keep = set(args.entries.split(","))
        groups = {k: v for k, v in groups.items() if k[2].split(" -> ")[0] in keep}
    if not groups:
        sys.exit("the two runs have no entry and picture in common")
    last = None
    for (corpus, fmt, name), pv in sorted(groups.items()):
        if (corpus, fmt) != last:
            print(f"\n== {corpus}, {fmt.upper()}  (old -> new, change; better/worse: pictures beyond the tie margin)")
            print(f"{'entry':<34}{'pics':>5}" + "".join(f"{m:>30}" for m in METRICS))
            last = (corpus, fmt)
        line = f"{name:<34}{len(pv):>5}"
        for m in METRICS:
            both = [(a[m], b[m]) for a, b in pv if a[m] is not None and b[m] is not None]
            if not both:
                line += f"{'-':>30}"
                continue
            mo = sum(a for a, _ in both) / len(both)
            mn = sum(b for _, b in both) / len(both)
            sign = 1 if HIGHER_IS_BETTER[m] else -1
            better = sum(1 for a, b in both if sign * (b - a) > TIE[m])
            worse = sum(1 for a, b in both if sign * (a - b) > TIE[m])
            f = SHOWN[m]
            cell = f"{f.format(mo)}->{f.format(mn)} {mn - mo:+.3f} {better}/{worse}"
            line += f"{cell:>30}"
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
