#!/usr/bin/env python3
"""Write a tuned weight table (tools/tune's --params-out) into the source.

The built-in weights are the initialisers of EvalWeights in eval/params.h and
the piece-square tables in eval/evaluate.cpp; eval/params.cpp names each
entry after its field. This rewrites the initialisers of the entries the file
names and leaves the rest alone; then rebuild, format the changed lines
(git clang-format) and test the result in games.

    python3 tools/applyparams.py tuned-params.txt
"""
import argparse
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PIECES = ["king", "queen", "rook", "bishop", "knight", "pawn"]


def read_table(path):
    table = {}
    for number, line in enumerate(open(path), 1):
        line = line.split("#")[0].strip()
        if not line:
            continue
        if "=" not in line:
            sys.exit("%s:%d: expected name = values" % (path, number))
        name, values = line.split("=", 1)
        table[name.strip()] = [int(v) for v in values.split()]
    return table


def entry_fields():
    """name -> ('field', name of the EvalWeights field) or ('pst', table, type)."""
    text = open(os.path.join(ROOT, "eval/params.cpp")).read()
    fields = {}
    for kind, name, args in re.findall(r'^\s*(SCALAR|ARRAY|PST)\("([^"]+)", ([^)]*)\),', text, re.M):
        args = [a.strip() for a in args.split(",")]
        fields[name] = ("pst", args[0], int(args[1])) if kind == "PST" else ("field", args[0])
    return fields


def set_field(text, field, values, name):
    if len(values) == 1:
        pattern = re.compile(r"\b(%s)(\s*=\s*)-?\d+" % field)
        new, n = pattern.subn(lambda m: m.group(1) + m.group(2) + str(values[0]), text, count=1)
    else:
        pattern = re.compile(r"\b(%s\[\d+\]\s*=\s*)\{[^}]*\}" % field)
        new, n = pattern.subn(lambda m: m.group(1) + "{" + ", ".join(map(str, values)) + "}", text, count=1)
    if n != 1:
        sys.exit("%s: field %s not found in eval/params.h" % (name, field))
    return new


def set_pst(text, table, piece_type, values, name):
    start = text.find("int32_t %s[6][64] = {" % table)
    block = re.compile(r"(// %s, rank 8 first\n\s*\{\n)(.*?)(\n\s*\},)" % PIECES[piece_type], re.S)
    m = block.search(text, start) if start >= 0 else None
    if not m or len(values) != 64:
        sys.exit("%s: table %s not found in eval/evaluate.cpp" % (name, table))
    rows = "\n".join("        " + ", ".join(map(str, values[r * 8:r * 8 + 8])) + "," for r in range(8))
    return text[:m.start(2)] + rows + text[m.end(2):]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("table", help="a file of name = values lines")
    args = ap.parse_args()
    table = read_table(args.table)
    fields = entry_fields()
    paths = {"field": os.path.join(ROOT, "eval/params.h"), "pst": os.path.join(ROOT, "eval/evaluate.cpp")}
    texts = {k: open(p).read() for k, p in paths.items()}
    for name, values in table.items():
        if name not in fields:
            sys.exit("unknown entry %s" % name)
        where = fields[name]
        if where[0] == "field":
            texts["field"] = set_field(texts["field"], where[1], values, name)
        else:
            texts["pst"] = set_pst(texts["pst"], where[1], where[2], values, name)
    for k, p in paths.items():
        open(p, "w").write(texts[k])
    print("%d entries written" % len(table))


if __name__ == "__main__":
    main()
