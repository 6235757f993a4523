#!/usr/bin/env python3
"""Turns one Mammal Diversity Database checklist (CSV) into a classification file.

    python3 tools/mdd_to_classification.py IN.csv OUT.xml

The result is the tag format the viewer reads: a root <branch> "Mammalia" (class), one
<branch> per higher taxon and one <leaf> per species, each followed by three value lines
(Latin name, common name, rank).

The viewer pairs the taxa of two classifications level by level, so two files compare well
only when they use the same levels. Only the levels that both the 2020 (v1.2) and the 2024
(v1.13) releases give, and that the viewer knows as ranks, are kept: order, suborder,
infraorder, superfamily, family, subfamily, tribe, genus and species. Subclass, infraclass,
magnorder, superorder, parvorder and subgenus are left out, and so are placeholder values
("NA", "incertae sedis"); a taxon whose level is left out hangs from the nearest level kept
above it.

The viewer reads names as bytes, one value up to the next double quote, with no entity
handling, so names are written as ISO-8859-1 and anything that could not be read back as
written is transliterated (see latin1()).

Python 3 standard library only. Output is deterministic: children appear in the order in
which the checklist first mentions them, and lines end in LF.
"""

import csv
import os
import sys
import unicodedata

# (CSV column, rank name written to the file), from the top down; species come last.
LEVELS = [
    ("order", "Order"),
    ("suborder", "Suborder"),
    ("infraorder", "Infraorder"),
    ("superfamily", "Superfamily"),
    ("family", "Family"),
    ("subfamily", "Subfamily"),
    ("tribe", "Tribe"),
    ("genus", "Genus"),
]
SPECIES_RANK = "Species"
REQUIRED_COLUMNS = [column for column, _ in LEVELS] + ["specificEpithet", "mainCommonName"]

ROOT = ("Mammalia", "mammals", "Class")
ATTRIBUTION = ("Mammal Diversity Database (2020, 2024). Mammal Diversity Database "
               "(Versions 1.2 and 1.13). Zenodo / mammaldiversity.org. CC BY 4.0.")

# Placeholders that stand where a checklist has no taxon at a level (compared case-folded).
PLACEHOLDERS = {"", "na", "incertae sedis"}

# Characters outside ISO-8859-1 with a customary Latin-1 spelling that decomposition misses.
SPELLINGS = {
    "\u2018": "'", "\u2019": "'", "\u201a": "'", "\u2032": "'",
    "\u201c": "'", "\u201d": "'", "\u201e": "'",
    "\u2013": "-", "\u2014": "-", "\u2010": "-", "\u2011": "-",
}


class ConversionError(Exception):
    pass


def tidy(text):
    """Trims the value and turns every run of whitespace (line breaks included) into one blank.

    A line break inside a value would end the viewer's value line early and shift every
    value after it.
    """
    return " ".join(text.split())


def latin1(text):
    """The value as ISO-8859-1 bytes the viewer reads back unchanged.

    A double quote would end the value early, so it becomes an apostrophe. A character
    outside ISO-8859-1 gets its customary spelling, else its compatibility decomposition
    without combining marks (a letter with a caron becomes the bare letter), else '?'.
    C1 control characters become '?' as well.
    """
    out = []
    for ch in text:
        if ch == '"':
            out.append("'")
        elif ch in SPELLINGS:
            out.append(SPELLINGS[ch])
        elif " " <= ch <= "~" or "\u00a0" <= ch <= "\u00ff":
            out.append(ch)
        else:
            base = "".join(c for c in unicodedata.normalize("NFKD", ch)
                           if not unicodedata.combining(c))
            if base and all((" " <= c <= "~" and c != '"') or "\u00a0" <= c <= "\u00ff"
                            for c in base):
                out.append(base)
            else:
                out.append("?")
    return "".join(out).encode("latin-1")


def usual_case(name):
    """Higher taxa in capitals ("DIDELPHIDAE") are written "Didelphidae"; others stand."""
    if name.isupper():
        return name[:1] + name[1:].lower()
    return name


def is_placeholder(value):
    return value.casefold() in PLACEHOLDERS


class Taxon:
    __slots__ = ("latin", "common", "rank", "children", "index")

    def __init__(self, latin, common, rank):
        self.latin = latin
        self.common = common
        self.rank = rank
        self.children = []
        self.index = {}  # (latin, rank) -> child, for the higher taxa only

    def branch(self, latin, rank):
        key = (latin, rank)
        child = self.index.get(key)
        if child is None:
            child = Taxon(latin, "", rank)
            self.index[key] = child
            self.children.append(child)
        return child


def read_checklist(path):
    root = Taxon(*ROOT)
    # newline="" lets the csv module see the line breaks inside quoted fields and the CRLF
    # line ends; utf-8-sig tolerates a byte order mark.
    with open(path, newline="", encoding="utf-8-sig") as handle:
        rows = csv.DictReader(handle)
        missing = [c for c in REQUIRED_COLUMNS if c not in (rows.fieldnames or [])]
        if missing:
            raise ConversionError("%s: missing column(s) %s" % (path, ", ".join(missing)))
        species = 0
        for row in rows:
            where = "%s: record ending on line %d" % (path, rows.line_num)
            node = root
            for column, rank in LEVELS:
                value = tidy(row[column] or "")
                if is_placeholder(value):
                    continue
                node = node.branch(usual_case(value), rank)
            if node.rank != "Genus":
                raise ConversionError(where + ": no genus")
            epithet = tidy(row["specificEpithet"] or "")
            if is_placeholder(epithet):
                raise ConversionError(where + ": no specific epithet")
            common = tidy(row["mainCommonName"] or "")
            if is_placeholder(common):
                common = ""
            # Every record is one species and becomes its own leaf, even if a name repeats.
            node.children.append(Taxon(node.latin + " " + epithet, common, SPECIES_RANK))
            species += 1
    if species == 0:
        raise ConversionError(path + ": no species records")
    return root


def value_line(indent, name, value):
    return b"%s<attr name=\"%s\" value=\"%s\"/>" % (indent, name, latin1(value))


def write_taxon(lines, taxon, depth):
    indent = b"  " * depth
    inner = indent + b"  "
    tag = b"branch" if taxon.children else b"leaf"
    lines.append(indent + b"<" + tag + b">")
    lines.append(value_line(inner, b"latin", taxon.latin))
    lines.append(value_line(inner, b"common", taxon.common))
    lines.append(value_line(inner, b"rank", taxon.rank))
    return tag


def render(root, source_name):
    lines = [b'<?xml version="1.0" encoding="ISO-8859-1"?>',
             b"<!-- " + latin1(ATTRIBUTION + " Converted from " + source_name
                                + " by tools/mdd_to_classification.py.") + b" -->"]
    # Depth first, a taxon before its children, children in order; an explicit stack so
    # that no depth of input can exhaust the interpreter's recursion limit.
    stack = [(root, 0, False)]
    while stack:
        taxon, depth, closing = stack.pop()
        if closing:
            lines.append(b"  " * depth + b"</branch>")
            continue
        tag = write_taxon(lines, taxon, depth)
        if tag == b"leaf":
            # The closing tag on a line of its own: the reader discards the one token after
            # a leaf's values, and on the third value line it would be skipped with the rest
            # of that line, swallowing the next entry's tag instead.
            lines.append(b"  " * depth + b"</leaf>")
            continue
        stack.append((taxon, depth, True))
        for child in reversed(taxon.children):
            stack.append((child, depth + 1, False))
    return b"\n".join(lines) + b"\n"


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: %s IN.csv OUT.xml\n" % os.path.basename(argv[0]))
        return 2
    source, target = argv[1], argv[2]
    try:
        root = read_checklist(source)
    except (OSError, UnicodeDecodeError, csv.Error, ConversionError) as error:
        sys.stderr.write("mdd_to_classification: %s\n" % error)
        return 1
    data = render(root, os.path.basename(source))
    # Written beside the target and renamed over it, so a failed run leaves no torn file.
    temporary = target + ".tmp"
    try:
        with open(temporary, "wb") as out:
            out.write(data)
        os.replace(temporary, target)
    except OSError as error:
        sys.stderr.write("mdd_to_classification: %s\n" % error)
        try:
            os.remove(temporary)
        except OSError:
            pass
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
