#!/usr/bin/env python3
"""fyldra3-scan --csv read back by Python's csv module: every row says what
the --json line for the same path says, and every basis offset points at
the bytes it names. Usage: csv_roundtrip.py FYLDRA3_SCAN DATA_DIR"""
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile

scan, data = sys.argv[1], sys.argv[2]
COLUMNS = ["path", "path_hex", "size", "modified", "verdict", "message", "basis_chars", "basis_control",
           "basis_signature", "basis_check", "basis_offset", "error", "errno", "digest"]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


with tempfile.TemporaryDirectory() as tmp:
    root = os.fsencode(tmp)
    names = [b"comma,name.doc", b'quote"name.doc', b"line\nbreak.doc", b"cr\r\nlf.doc", b"=1+1.doc",
             "文書.doc".encode(), "文書.doc".encode("cp932"), b" leading space.doc"]
    sources = sorted(os.listdir(data))
    paths = []
    for i, name in enumerate(names):
        source = os.path.join(data, sources[i % len(sources)])
        target = os.path.join(root, name)
        shutil.copyfile(source, target)
        paths.append(target)
    paths += [os.path.join(os.fsencode(data), os.fsencode(s)) for s in sources]
    paths.append(os.path.join(root, b"missing"))
    paths.append(root)

    def run(*options):
        r = subprocess.run([scan, *options, "--hash", "sha256", "--", *paths], capture_output=True)
        check(r.returncode == 1, f"{options}: exit status {r.returncode}")
        return r.stdout

    lines = [json.loads(line) for line in run("--json").decode().splitlines()]
    plain = run("--csv")
    marked = run("--csv", "--bom")
    check(marked == b"\xef\xbb\xbf" + plain, "--bom adds exactly the mark")
    check(not plain.startswith(b"\xef\xbb\xbf"), "no mark without --bom")
    for raw, encoding in ((plain, "utf-8"), (marked, "utf-8-sig")):
        rows = list(csv.reader(io.StringIO(raw.decode(encoding), newline=""), strict=True))
        check(rows[0] == COLUMNS, f"header {rows[0]}")
        rows = rows[1:]
        check(len(rows) == len(paths) == len(lines), f"{len(rows)} rows for {len(paths)} paths")
        for path, row, line in zip(paths, rows, lines):
            check(len(row) == len(COLUMNS), f"{path}: {len(row)} fields")
            r = dict(zip(COLUMNS, row))
            shown = path.decode("utf-8", "replace")
            check(r["path"] == shown == line["path"], f"path {r['path']!r} vs {shown!r}")
            check(r["path_hex"] == line.get("path_hex", ""), f"{shown}: path_hex")
            if r["path_hex"]:
                check(bytes.fromhex(r["path_hex"]) == path, f"{shown}: path_hex is the name's bytes")
            check(r["size"] == str(line.get("size", "")), f"{shown}: size")
            check(r["modified"] == line.get("modified", ""), f"{shown}: modified")
            check(r["verdict"] == line.get("verdict", ""), f"{shown}: verdict")
            check(r["message"] == line["message"], f"{shown}: message")
            check(r["error"] == line.get("error", ""), f"{shown}: error")
            if "errno" in line:
                check(r["errno"] == line["errno"], f"{shown}: errno")
            if path.endswith(b"/missing"):
                check(r["errno"] == "ENOENT", f"{shown}: errno {r['errno']!r}")
            check(r["digest"] == line.get("sha256", ""), f"{shown}: digest")
            basis = line.get("basis", {})
            for column, key in (("basis_chars", "chars"), ("basis_control", "control"),
                                ("basis_check", "check"), ("basis_offset", "offset")):
                check(r[column] == str(basis.get(key, "")), f"{shown}: {column} {r[column]!r} vs {basis.get(key)!r}")
            check(r["basis_signature"] == (basis.get("signature") or ""), f"{shown}: basis_signature")
            if r["size"]:
                content = open(path, "rb").read()
                check(int(r["size"]) == len(content), f"{shown}: size is the file's")
                if r["basis_signature"]:
                    at = int(r["basis_offset"])
                    sig = r["basis_signature"].encode()
                    check(content[at:at + len(sig)] == sig, f"{shown}: the signature at {at}")
                if r["basis_control"]:
                    check(content[int(r["basis_control"])] < 0x20, f"{shown}: a control character")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"{len(paths)} paths: CSV and JSON agree")
