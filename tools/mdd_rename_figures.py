#!/usr/bin/env python3
"""How many renamed species `cladorama-cli diff` pairs between two Mammal Diversity Database
releases, scored against the releases' own stable identifiers.

    python3 tools/mdd_rename_figures.py CLI OLD.csv NEW.csv [--list]

The truth: a species identifier (`id`) whose name in OLD is no name of NEW, while NEW gives
the identifier to another name. `diff` is run three times: on the files as published, on
copies without the `id` column, and on copies without `id` and the authorship columns
(`authoritySpeciesAuthor`, `authoritySpeciesYear`). Each run prints the renames found, the
pairs made and the false ones (two taxa the identifiers tell apart), with the evidence of the
pairs found. --list also names the renames each run misses and its false pairs.

Python 3 standard library only; the copies are written to a temporary folder.
"""

import collections
import csv
import os
import subprocess
import sys
import tempfile

AUTHORSHIP = ("authoritySpeciesAuthor", "authoritySpeciesYear")


def read_rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def species_by_id(rows):
    header = rows[0]
    name, ident = header.index("sciName"), header.index("id")
    return {row[ident]: row[name].replace("_", " ") for row in rows[1:] if len(row) > ident}


def write_without(rows, columns, path):
    drop = {i for i, h in enumerate(rows[0]) if h in columns}
    with open(path, "w", newline="", encoding="utf-8") as f:
        writer = csv.writer(f)
        for row in rows:
            writer.writerow([v for i, v in enumerate(row) if i not in drop])


def diff_pairs(cli, old, new):
    """(old name, new name, evidence) of every pair diff prints."""
    out = subprocess.run([cli, "diff", old, new], check=True, capture_output=True).stdout
    pairs = []
    for line in out.decode("latin-1").splitlines()[1:]:
        mark, change, rank, name, _, _, other, detail = line.split("\t")
        if change == "renamed" and mark == "1" and rank == "Species":
            pairs.append((name, other, detail))
    return pairs


def latin1(name):
    # diff prints names as the trees keep them (ISO-8859-1): compare in that spelling.
    return name.encode("latin-1", "replace").decode("latin-1")


def main(argv):
    if len(argv) not in (4, 5) or (len(argv) == 5 and argv[4] != "--list"):
        sys.stderr.write(__doc__)
        return 2
    cli, old, new = argv[1:4]
    listing = len(argv) == 5
    rows_old, rows_new = read_rows(old), read_rows(new)
    ids_old, ids_new = species_by_id(rows_old), species_by_id(rows_new)
    names_new = set(ids_new.values())
    truth = {latin1(n): latin1(ids_new[i]) for i, n in ids_old.items()
             if n not in names_new and i in ids_new}
    id_of_old = {latin1(n): i for i, n in ids_old.items()}
    id_of_new = {latin1(n): i for i, n in ids_new.items()}
    print(f"{len(truth)} species names only {os.path.basename(old)} holds are renames")

    with tempfile.TemporaryDirectory() as tmp:
        runs = [("with id", old, new)]
        for label, columns in (("without id", {"id"}),
                               ("without id and authorship", {"id", *AUTHORSHIP})):
            paths = []
            for source, rows in ((old, rows_old), (new, rows_new)):
                path = os.path.join(tmp, label.replace(" ", "_") + "_" + os.path.basename(source))
                write_without(rows, columns, path)
                paths.append(path)
            runs.append((label, *paths))
        for label, a, b in runs:
            pairs = diff_pairs(cli, a, b)
            found = [p for p in pairs if truth.get(p[0]) == p[1]]
            false = [p for p in pairs if truth.get(p[0]) != p[1] and
                     id_of_old.get(p[0]) != id_of_new.get(p[1])]
            by = collections.Counter(p[2] for p in found)
            print(f"{label}: {len(found)} of {len(truth)} found "
                  f"({100 * len(found) / len(truth):.0f} %), {len(pairs)} pairs, "
                  f"{len(false)} false; found by "
                  + ", ".join(f"{k} {v}" for k, v in sorted(by.items())))
            if listing:
                made = {p[0] for p in found}
                for n in sorted(set(truth) - made):
                    print(f"  missed\t{n}\t{truth[n]}")
                for p in false:
                    print(f"  false\t{p[0]}\t{p[1]}\t{p[2]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
