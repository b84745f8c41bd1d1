"""Card trees for the benchmark: nested folders, mixed file sizes, a few large files.

A tree is a pure function of its file count (the seed), so two runs on two machines measure
the same card. The names are ones every side handles alike: no leading dot (the conduit's PC
scan never sees those), no two names in one folder that differ only by case (the card and
the PC both compare names without case), and never the names the card listing reserves.
"""
import os
import random

# Folder and file name parts: mixed case, a few blanks and digits, extensions common on cards.
_STEMS = ["DSC", "Img", "memo", "Notes", "track", "Book", "report", "page", "Scan", "data",
          "backup", "song", "photo", "Letter", "draft", "list", "Map", "clip", "log", "sheet"]
_EXTS = [".jpg", ".txt", ".pdb", ".prc", ".mp3", ".doc", ".png", ".csv", ".htm", ".dat"]
_DIRS = ["DCIM", "Audio", "Documents", "Palm", "Launcher", "Photos", "Books", "Archive",
         "Work", "Music", "Maps", "Notes", "Misc", "Projects", "Album"]
_RESERVED = {"tarnwick.txt", "memstick.ind"}

KIB = 1024
MIB = 1024 * 1024


def _file_size(rng):
    """Mostly small files, a tail of medium ones; about 20 KB on average."""
    roll = rng.random()
    if roll < 0.65:
        return rng.randint(512, 8 * KIB)
    if roll < 0.93:
        return rng.randint(8 * KIB, 48 * KIB)
    return rng.randint(48 * KIB, 160 * KIB)


def plan(files, seed=None):
    """The tree as a list of (relative path, size); folders end in '/'.

    Folders hold 10 to 60 entries and nest up to five deep; about one file in 500 (at least
    two) is a large one of 1 to 3 MB.
    """
    rng = random.Random(files if seed is None else seed)
    large = max(2, files // 500)
    entries = []
    # Breadth-first growth: each new folder is placed under a random existing one whose depth
    # allows it, so the tree is wide near the root and deep in places.
    folders = [("", 0)]
    used = {"": set()}
    folder_count = max(1, files // 25)

    def unique(parent, base, ext):
        taken = used[parent]
        name = base + ext
        n = 1
        while name.lower() in taken or name.lower() in _RESERVED:
            n += 1
            name = "%s %d%s" % (base, n, ext) if rng.random() < 0.2 else "%s%d%s" % (base, n, ext)
        taken.add(name.lower())
        return name

    for _ in range(folder_count):
        parent, depth = rng.choice(folders)
        if depth >= 5:
            parent, depth = folders[0]
        name = unique(parent, rng.choice(_DIRS), "")
        path = parent + name + "/"
        used[path] = set()
        folders.append((path, depth + 1))
        entries.append((path, 0))

    large_at = set(rng.sample(range(files), large)) if files >= large else set()
    for i in range(files):
        parent, _ = rng.choice(folders)
        name = unique(parent, rng.choice(_STEMS) + "%04d" % rng.randint(0, 9999), rng.choice(_EXTS))
        size = rng.randint(1 * MIB, 3 * MIB) if i in large_at else _file_size(rng)
        entries.append((parent + name, size))
    return entries


def write(root, entries, seed=0, base_time=1735689600):
    """Writes the planned tree under root. Contents are random (so no layer can shortcut them);
    modification times are spread over the year before base_time, folders after their files."""
    rng = random.Random(seed)
    os.makedirs(root, exist_ok=True)
    block = os.urandom(4 * MIB)
    offset = 0
    folders = []
    for path, size in entries:
        full = os.path.join(root, path)
        if path.endswith("/"):
            os.makedirs(full, exist_ok=True)
            folders.append(full)
            continue
        os.makedirs(os.path.dirname(full), exist_ok=True)
        # Slices of one random block at moving offsets: distinct contents without paying for
        # a gigabyte of fresh randomness.
        with open(full, "wb") as out:
            left = size
            while left > 0:
                start = offset % (len(block) - 1)
                chunk = block[start:start + min(left, len(block) - start)]
                out.write(chunk)
                left -= len(chunk)
                offset += len(chunk) + 4099
        t = base_time - rng.randint(0, 365 * 86400)
        os.utime(full, (t, t))
    for full in reversed(folders):
        t = base_time - rng.randint(0, 365 * 86400)
        os.utime(full, (t, t))


def totals(entries):
    files = [s for p, s in entries if not p.endswith("/")]
    return len(files), len(entries) - len(files), sum(files)
