"""Paths, the corpus manifests and the cache shared by the quality scripts."""

import csv
import os
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent

# The machine's screen: every result is compared at this size.
SCREEN_W, SCREEN_H = 320, 200
# BMP4 pixels are twice as wide as high, so the format holds half the columns.
BMP4_W = 160

CORPORA = {
    "main": HERE / "corpus_main.tsv",
    "holdout": HERE / "corpus_holdout.tsv",
}

KINDS = ("photo", "painting", "cartoon", "gradient", "pixel art")


def cache_dir() -> Path:
    """The cache folder: TESSERA_QUALITY_CACHE, else the user's cache folder."""
    env = os.environ.get("TESSERA_QUALITY_CACHE")
    if env:
        return Path(env).expanduser()
    base = os.environ.get("XDG_CACHE_HOME") or str(Path.home() / ".cache")
    return Path(base) / "tessera-quality"


def pictures_dir(corpus: str) -> Path:
    return cache_dir() / "pictures" / corpus


@dataclass(frozen=True)
class Entry:
    id: str
    kind: str
    package: str
    path: str  # inside the package, relative to its root
    licence: str
    crop: tuple | None  # (left, top, width, height) in the package's picture
    upscale: int  # nearest-neighbour factor, for small pictures shown as pixel art
    note: str


def corpus_path(name: str) -> Path:
    if name in CORPORA:
        return CORPORA[name]
    return Path(name)


def read_manifest(name: str) -> list[Entry]:
    """Reads a manifest (tab-separated, a header line, '#' lines are comments)."""
    path = corpus_path(name)
    with open(path, newline="", encoding="utf-8") as f:
        lines = [l for l in f if l.strip() and not l.startswith("#")]
    entries = []
    for row in csv.DictReader(lines, delimiter="\t"):
        crop = None
        if row["crop"].strip():
            crop = tuple(int(v) for v in row["crop"].split(","))
            if len(crop) != 4:
                raise ValueError(f"{path}: {row['id']}: crop needs left,top,width,height")
        kind = row["kind"].strip()
        if kind not in KINDS:
            raise ValueError(f"{path}: {row['id']}: unknown kind {kind!r}")
        entries.append(Entry(
            id=row["id"].strip(), kind=kind, package=row["package"].strip(),
            path=row["path"].strip().lstrip("/"), licence=row["licence"].strip(),
            crop=crop, upscale=int(row["upscale"] or 1), note=row["note"].strip()))
    ids = [e.id for e in entries]
    if len(set(ids)) != len(ids):
        raise ValueError(f"{path}: an id is used twice")
    return entries


def corpus_name(name: str) -> str:
    return name if name in CORPORA else Path(name).stem
