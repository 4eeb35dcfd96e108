#!/usr/bin/env python3
"""Picture-quality benchmark of tessera-convert against other quantisers.

The job: each picture of a corpus stretched to the machine's 320 x 200 screen
in 16 colours of the 4-bit grid. The reference is the picture reduced to
320 x 200 with Pillow's LANCZOS (for BMP4 too: the machine shows its 160
columns doubled). tessera-convert runs with each setting, for BMP1 and BMP4,
and tessview draws the file; the peers get the LANCZOS-reduced picture (160 x
200 for BMP4, doubled afterwards) and their colours are put on the grid (see
peers.py). Every result is checked for legality and scored; tables go to
standard output, every number to results.json and results.csv.

Run fetch.py first. See README.md for the metrics.
"""

import argparse
import csv
import fnmatch
import json
import math
import os
import shlex
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

import numpy as np
from PIL import Image

import common
import metrics
import peers as peers_mod

# name -> tessera-convert options. "@prescaled" as the first word gives the
# program the LANCZOS-reduced picture instead of the original, which takes its
# own resampling out of the comparison.
DEFAULT_SETTINGS = {
    "default": "",
    "fs": "--method colorq --diffusion floyd-steinberg",
    "avg-fs": "--scale average --method colorq --diffusion floyd-steinberg",
    "lanczos-fs": "--scale lanczos --method colorq --diffusion floyd-steinberg",
    "avg-kmeans-fs": "--scale average --method kmeans --diffusion floyd-steinberg",
    "pre-fs": "@prescaled --method colorq --diffusion floyd-steinberg",
}

METRICS = ("de2000", "butteraugli", "psnr", "ssim")
HIGHER_IS_BETTER = {"de2000": False, "butteraugli": False, "psnr": True, "ssim": True}
# Two results within this of the best one on a picture tie with it.
TIE = {"de2000": 0.01, "butteraugli": 0.05, "psnr": 0.05, "ssim": 0.001}
SHOWN = {"de2000": "{:.3f}", "butteraugli": "{:.2f}", "psnr": "{:.2f}", "ssim": "{:.4f}"}
HEADER = {"de2000": "dE00blur", "butteraugli": "butteraugli", "psnr": "PSNR", "ssim": "SSIM"}


def parse_setting(text):
    words = shlex.split(text)
    prescaled = bool(words) and words[0] == "@prescaled"
    return (words[1:] if prescaled else words), prescaled


def save_png(arr, path):
    Image.fromarray(arr).save(path, compress_level=1)


def scores(ref, ref_png, out, out_png, use_butteraugli):
    s = {
        "de2000": metrics.blurred_ciede2000(ref, out),
        "psnr": metrics.psnr(ref, out),
        "ssim": metrics.ssim_luma(ref, out),
        "butteraugli": metrics.butteraugli(ref_png, out_png) if use_butteraugli else None,
    }
    return s


def run_picture(job):
    """Every format, setting and peer on one picture; returns result rows."""
    (corpus, entry, src, fmts, settings, peer_names, tool, viewer, images_dir,
     use_butteraugli) = job
    rows = []
    with tempfile.TemporaryDirectory(prefix="tessera-quality-") as tmp:
        work = Path(tmp)
        with Image.open(src) as im:
            im = im.convert("RGB")
            ref_img = im.resize((common.SCREEN_W, common.SCREEN_H), Image.LANCZOS)
            ref160_img = im.resize((common.BMP4_W, common.SCREEN_H), Image.LANCZOS)
        ref = np.asarray(ref_img)
        ref_png, ref160_png = work / "ref.png", work / "ref160.png"
        ref_img.save(ref_png)
        ref160_img.save(ref160_png)
        keep = None
        if images_dir:
            keep = Path(images_dir) / corpus / entry.id
            keep.mkdir(parents=True, exist_ok=True)
            ref_img.save(keep / "reference.png")

        def finish(fmt, tool_name, setting, out, seconds, problems, info):
            name = f"{tool_name}:{setting}" if setting else tool_name
            out_png = work / f"{fmt}-{name.replace(':', '_')}.png"
            save_png(out, out_png)
            if keep:
                save_png(out, keep / out_png.name)
            problems = problems + metrics.legality(out, fmt, cell_rule=(tool_name == "tessera"))
            row = {"corpus": corpus, "picture": entry.id, "kind": entry.kind, "format": fmt,
                   "entry": name, "tool": tool_name, "setting": setting or "",
                   "colours": int(len(metrics.colours(out))),
                   "cells_over_2": metrics.cells_over(out) if fmt == "bmp1" else None,
                   "seconds": round(seconds, 3), "violations": problems, **info}
            row.update(scores(ref, ref_png, out, out_png, use_butteraugli))
            rows.append(row)

        for fmt in fmts:
            for sname, text in settings.items():
                opts, prescaled = parse_setting(text)
                given = src
                if prescaled:
                    given = ref_png if fmt == "bmp1" else ref160_png
                target = work / f"t.{fmt}"
                drawn = work / "t_view.png"
                t0 = time.perf_counter()
                r = subprocess.run([tool, "-q", "-j", "1", "-f", fmt, *opts, "-o", str(target), str(given)],
                                   capture_output=True, text=True)
                seconds = time.perf_counter() - t0
                if r.returncode != 0:
                    rows.append({"corpus": corpus, "picture": entry.id, "kind": entry.kind,
                                 "format": fmt, "entry": f"tessera:{sname}", "tool": "tessera",
                                 "setting": sname, "violations": [f"tessera-convert failed: {r.stderr.strip()}"]})
                    continue
                problems = []
                data = target.read_bytes()
                own = metrics.decode_target(data, fmt)
                v = subprocess.run([viewer, "--png", str(drawn), str(target)], capture_output=True, text=True)
                if v.returncode != 0:
                    problems.append(f"tessview failed: {v.stderr.strip()}")
                    screen = own
                else:
                    with Image.open(drawn) as d:
                        screen = metrics.from_viewer(np.asarray(d.convert("RGB")))
                    if screen is None:
                        problems.append("tessview's drawing is not 640x400 in 2x2 blocks")
                        screen = own
                    elif not np.array_equal(screen, own):
                        problems.append("tessview's drawing differs from the file's pixels")
                finish(fmt, "tessera", sname, screen, seconds, problems, {"options": text})
            for pname in peer_names:
                fn = peers_mod.PEERS[pname][0]
                given = ref_png if fmt == "bmp1" else ref160_png
                t0 = time.perf_counter()
                out = fn(given, work)
                seconds = time.perf_counter() - t0
                if fmt == "bmp4":
                    out = np.repeat(out, 2, axis=1)
                finish(fmt, pname, "", np.ascontiguousarray(out), seconds, [], {})
    return rows


# ---- tables ---------------------------------------------------------------

def ok_rows(rows):
    return [r for r in rows if "de2000" in r]


def fmt_value(metric, v):
    if v is None:
        return "-"
    if isinstance(v, float) and math.isinf(v):
        return "inf"
    return SHOWN[metric].format(v)


def mean(values):
    vals = [v for v in values if v is not None and not (isinstance(v, float) and math.isinf(v))]
    return sum(vals) / len(vals) if vals else None


def best_counts(rows, entries, metric):
    """Per entry: pictures on which it is best or tied (within TIE)."""
    counts = {e: 0 for e in entries}
    by_pic = {}
    for r in rows:
        if r["entry"] in counts and r.get(metric) is not None:
            by_pic.setdefault(r["picture"], []).append(r)
    for pic_rows in by_pic.values():
        vals = [r[metric] for r in pic_rows]
        best = max(vals) if HIGHER_IS_BETTER[metric] else min(vals)
        for r in pic_rows:
            if abs(r[metric] - best) <= TIE[metric] or r[metric] == best:
                counts[r["entry"]] += 1
    return counts, len(by_pic)


def entry_order(rows):
    seen = []
    for r in rows:
        if r["entry"] not in seen:
            seen.append(r["entry"])
    return seen


def print_tables(rows, out=sys.stdout):
    rows = ok_rows(rows)
    for corpus in dict.fromkeys(r["corpus"] for r in rows):
        for fmt in ("bmp4", "bmp1"):
            sel = [r for r in rows if r["corpus"] == corpus and r["format"] == fmt]
            if not sel:
                continue
            entries = entry_order(sel)
            npics = len({r["picture"] for r in sel})
            means = {e: {m: mean([r[m] for r in sel if r["entry"] == e]) for m in METRICS} for e in entries}
            tess = [e for e in entries if e.startswith("tessera:")]
            best_tess = min(tess, key=lambda e: means[e]["de2000"]) if tess else None
            versus = [e for e in entries if not e.startswith("tessera:")] + ([best_tess] if best_tess else [])
            counts_all = {m: best_counts(sel, entries, m)[0] for m in METRICS}
            counts_vs = {m: best_counts(sel, versus, m)[0] for m in METRICS}
            print(f"\n== {corpus}, {fmt.upper()}: {npics} pictures; means "
                  f"(dE00blur, butteraugli: lower is better; PSNR, SSIM: higher)", file=out)
            cols = ["entry", *[HEADER[m] for m in METRICS], "best:dE", "best:BA", "vsPeers:dE", "vsPeers:BA"]
            if fmt == "bmp1":
                cols.append("cells>2")
            print("  ".join(f"{c:>11}" if i else f"{c:<26}" for i, c in enumerate(cols)), file=out)
            for e in sorted(entries, key=lambda e: means[e]["de2000"]):
                cells = [f"{e:<26}"] + [f"{fmt_value(m, means[e][m]):>11}" for m in METRICS]
                cells += [f"{counts_all['de2000'][e]:>11}", f"{counts_all['butteraugli'][e]:>11}"]
                vs = e in versus
                cells += [f"{counts_vs['de2000'][e] if vs else '':>11}",
                          f"{counts_vs['butteraugli'][e] if vs else '':>11}"]
                if fmt == "bmp1":
                    over = mean([r["cells_over_2"] for r in sel if r["entry"] == e])
                    cells.append(f"{over:>11.1f}")
                print("  ".join(cells), file=out)
            print(f"  best:X = pictures on which the entry is best or tied among all entries; "
                  f"vsPeers:X = the same among the peers and tessera's best mean setting ({best_tess}).",
                  file=out)
            if fmt == "bmp1":
                print("  cells>2 = mean number of the 1000 8x8 cells with more than 2 colours: the peers "
                      "ignore BMP1's cell rule, so their BMP1 numbers are not legal BMP1 pictures.", file=out)
            kinds = list(dict.fromkeys(r["kind"] for r in sel))
            print(f"\n  {corpus}, {fmt.upper()}, dE00blur mean per kind:", file=out)
            print("  " + f"{'entry':<26}" + "".join(f"{k:>11}" for k in kinds), file=out)
            for e in sorted(entries, key=lambda e: means[e]["de2000"]):
                line = f"  {e:<26}"
                for k in kinds:
                    line += f"{fmt_value('de2000', mean([r['de2000'] for r in sel if r['entry'] == e and r['kind'] == k])):>11}"
                print(line, file=out)
            for m in ("de2000", "butteraugli"):
                if all(r[m] is None for r in sel):
                    continue
                print(f"\n  {corpus}, {fmt.upper()}, {HEADER[m]} per picture (* best or tied):", file=out)
                short = [e.replace("tessera:", "t:") for e in entries]
                print("  " + f"{'picture':<15}{'kind':<10}" + "".join(f"{s[:13]:>14}" for s in short), file=out)
                for pic in dict.fromkeys(r["picture"] for r in sel):
                    pr = {r["entry"]: r for r in sel if r["picture"] == pic}
                    vals = [pr[e][m] for e in entries if e in pr]
                    best = max(vals) if HIGHER_IS_BETTER[m] else min(vals)
                    line = f"  {pic:<15}{pr[entries[0]]['kind']:<10}"
                    for e in entries:
                        if e not in pr:
                            line += f"{'-':>14}"
                            continue
                        v = pr[e][m]
                        star = "*" if abs(v - best) <= TIE[m] else " "
                        line += f"{fmt_value(m, v) + star:>14}"
                    print(line, file=out)


def write_csv(rows, path):
    fields = ["corpus", "picture", "kind", "format", "entry", "tool", "setting", *METRICS,
              "colours", "cells_over_2", "seconds", "violations", "options"]
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.DictWriter(f, fieldnames=fields, extrasaction="ignore")
        w.writeheader()
        for r in rows:
            r = dict(r)
            r["violations"] = "; ".join(r.get("violations", []))
            for m in METRICS:
                if isinstance(r.get(m), float):
                    r[m] = "inf" if math.isinf(r[m]) else f"{r[m]:.6g}"
            w.writerow(r)


def tool_version(cmd):
    try:
        r = subprocess.run(cmd, capture_output=True, text=True, timeout=30)
        return (r.stdout or r.stderr).strip().splitlines()[0]
    except Exception as e:
        return f"unknown ({e})"


def package_versions(names):
    out = {}
    for n in names:
        r = subprocess.run(["dpkg-query", "-W", "-f=${Version}", n], capture_output=True, text=True)
        out[n] = r.stdout.strip() if r.returncode == 0 else None
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog="default settings:\n" + "\n".join(
                                     f"  {k}={v}" for k, v in DEFAULT_SETTINGS.items()))
    ap.add_argument("--corpus", action="append", help="main, holdout, or a manifest file; "
                    "may be given twice (default: main)")
    ap.add_argument("--pictures", help="comma-separated ids or shell patterns (default: all)")
    ap.add_argument("--formats", default="bmp4,bmp1", help="default: bmp4,bmp1")
    ap.add_argument("--setting", action="append", default=[], metavar="NAME=OPTIONS",
                    help="add (or replace) a tessera-convert setting, e.g. best='--best'; "
                    "'@prescaled ...' gives it the LANCZOS-reduced picture")
    ap.add_argument("--settings", help="comma-separated names of the settings to run "
                    "(default: all the defaults and every --setting)")
    ap.add_argument("--peers", default=",".join(peers_mod.DEFAULT_PEERS),
                    help=f"comma-separated, from {', '.join(peers_mod.PEERS)}; 'none' for none "
                    f"(default: {','.join(peers_mod.DEFAULT_PEERS)})")
    ap.add_argument("--tool", default=os.environ.get("TESSERA_CONVERT", str(common.REPO / "build/cli/tessera-convert")),
                    help="tessera-convert to measure (default: $TESSERA_CONVERT, else build/cli/tessera-convert)")
    ap.add_argument("--viewer", default=os.environ.get("TESSVIEW", str(common.REPO / "build/viewer/tessview")),
                    help="tessview that draws the files (default: $TESSVIEW, else build/viewer/tessview)")
    ap.add_argument("--out", help="folder for results.json, results.csv and the pictures "
                    "(default: CACHE/results/DATE-TIME)")
    ap.add_argument("--no-images", action="store_true", help="do not keep the result pictures")
    ap.add_argument("--no-butteraugli", action="store_true", help="skip butteraugli (the slowest metric)")
    ap.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 1, help="pictures at once")
    args = ap.parse_args()

    settings = dict(DEFAULT_SETTINGS)
    for s in args.setting:
        if "=" not in s:
            ap.error(f"--setting {s!r}: NAME=OPTIONS")
        k, v = s.split("=", 1)
        settings[k.strip()] = v
    if args.settings is not None:
        names = [n for n in args.settings.split(",") if n]
        unknown = [n for n in names if n not in settings]
        if unknown:
            ap.error(f"--settings: unknown {', '.join(unknown)}")
        settings = {n: settings[n] for n in names}
    peer_names = [] if args.peers in ("", "none") else args.peers.split(",")
    for p in peer_names:
        if p not in peers_mod.PEERS:
            ap.error(f"--peers: unknown {p}")
        if not peers_mod.PEERS[p][1]:
            ap.error(f"--peers: {p} is not installed (bench/quality/setup.sh)")
    fmts = args.formats.split(",")
    for f in fmts:
        if f not in ("bmp1", "bmp4"):
            ap.error(f"--formats: {f}")
    if settings:
        for exe in (args.tool, args.viewer):
            if not os.access(exe, os.X_OK):
                ap.error(f"{exe} is not an executable (see --tool, --viewer)")
    use_ba = not args.no_butteraugli and metrics.BUTTERAUGLI is not None
    if not args.no_butteraugli and metrics.BUTTERAUGLI is None:
        print("note: no butteraugli command (Debian's butteraugli package): that column stays empty",
              file=sys.stderr)

    corpora = args.corpus or ["main"]
    out_dir = Path(args.out) if args.out else common.cache_dir() / "results" / time.strftime("%Y%m%d-%H%M%S")
    out_dir.mkdir(parents=True, exist_ok=True)
    images_dir = None if args.no_images else out_dir / "images"

    jobs = []
    sources = {}
    for c in corpora:
        cname = common.corpus_name(c)
        pdir = common.pictures_dir(cname)
        entries = common.read_manifest(c)
        if args.pictures:
            pats = args.pictures.split(",")
            entries = [e for e in entries if any(fnmatch.fnmatch(e.id, p) for p in pats)]
        for e in entries:
            src = pdir / f"{e.id}.png"
            if not src.exists():
                sys.exit(f"{src} is missing: run bench/quality/fetch.py --corpus {c}")
            jobs.append((cname, e, src, fmts, settings, peer_names, args.tool, args.viewer,
                         images_dir, use_ba))
        st = pdir / "sources.tsv"
        if st.exists():
            sources[cname] = st.read_text()
    if not jobs:
        sys.exit("no pictures chosen")

    t0 = time.time()
    rows = []
    with ProcessPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for i, pic_rows in enumerate(pool.map(run_picture, jobs), 1):
            rows.extend(pic_rows)
            print(f"[{i}/{len(jobs)}] {jobs[i - 1][0]}/{jobs[i - 1][1].id}", file=sys.stderr)
    elapsed = time.time() - t0

    meta = {
        "date": time.strftime("%Y-%m-%d %H:%M:%S"),
        "seconds": round(elapsed, 1),
        "tool": args.tool, "tool_version": tool_version([args.tool, "--version"]) if settings else None,
        "viewer": args.viewer,
        "settings": settings,
        "peers": {p: peers_mod.PEERS[p][2] for p in peer_names},
        "formats": fmts,
        "corpora": corpora,
        "packages": package_versions(["imagemagick", "graphicsmagick", "pngquant", "libvips-tools",
                                      "python3-pil", "libimagequant0", "python3-skimage", "butteraugli"]),
        "metrics": {"de2000": f"mean CIEDE2000, Gaussian blur sigma {metrics.BLUR_SIGMA} in linear light",
                    "butteraugli": "Debian's butteraugli command" if use_ba else None,
                    "psnr": "PSNR over RGB, dB", "ssim": "SSIM of Rec. 709 luma"},
        "tie": TIE,
        "sources": sources,
    }
    # JSON has no infinity: an identical result's PSNR is written as null.
    plain = [{k: (None if isinstance(v, float) and math.isinf(v) else v) for k, v in r.items()} for r in rows]
    with open(out_dir / "results.json", "w", encoding="utf-8") as f:
        json.dump({"meta": meta, "rows": plain}, f, indent=1, allow_nan=False, default=str)
    write_csv(rows, out_dir / "results.csv")

    with open(out_dir / "tables.txt", "w", encoding="utf-8") as f:
        print_tables(rows, f)
    print_tables(rows)
    bad = [r for r in rows if r.get("violations")]
    print(f"\n{len(rows)} results in {elapsed:.0f} s; written to {out_dir}")
    if bad:
        print(f"\n!!! {len(bad)} RESULTS BREAK THE MACHINE'S RULES OR FAILED !!!", file=sys.stderr)
        for r in bad:
            print(f"!!! {r['corpus']}/{r['picture']} {r['format']} {r['entry']}: "
                  f"{'; '.join(r['violations'])}", file=sys.stderr)
        return 3
    print("legality: every result has at most 16 colours, all on the 4-bit grid; "
          "every tessera BMP1 at most 2 colours per 8x8 cell; every BMP4 doubled pixels.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
