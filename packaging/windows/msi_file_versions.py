#!/usr/bin/env python3
"""Gives every program and DLL in an MSI's File table the version of its
version resource, as Windows Installer compares versioned files by it; wixl
leaves the column empty and hashes every file instead, and a hash belongs to
unversioned files only (MsiFileHash). The files are looked up by name in the
payload the package was built from. A program or DLL without a version
resource fails the build.
    msi_file_versions.py MSI PAYLOAD-DIR
"""
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from pe_version import file_version  # noqa: E402


def file_rows(msi):
    text = subprocess.run(["msiinfo", "export", msi, "File"], check=True,
                          capture_output=True, text=True).stdout
    # Column names, column types, the table's name and key, then the rows.
    for line in text.splitlines()[3:]:
        fields = line.split("\t")
        # FileName may be "SHORT~1.EXE|long-name.exe".
        yield fields[0], fields[2].split("|")[-1]


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: msi_file_versions.py MSI PAYLOAD-DIR")
    msi, payload = sys.argv[1], pathlib.Path(sys.argv[2])
    queries = []
    for key, name in file_rows(msi):
        if not name.lower().endswith((".exe", ".dll")):
            continue
        sources = [p for p in payload.rglob(name) if p.is_file()]
        if len(sources) != 1:
            sys.exit(f"{name}: {len(sources)} files of that name in {payload}, not one")
        version = file_version(sources[0].read_bytes())
        if version is None:
            sys.exit(f"{sources[0]}: no version resource")
        queries += ["-q", f"UPDATE `File` SET `Version` = '{version}' WHERE `File` = '{key}'",
                    "-q", f"DELETE FROM `MsiFileHash` WHERE `File_` = '{key}'"]
        print(f"{name} {version}")
    if queries:
        subprocess.run(["msibuild", msi] + queries, check=True)


if __name__ == "__main__":
    main()
