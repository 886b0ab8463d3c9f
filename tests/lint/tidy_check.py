#!/usr/bin/env python3
"""Runs clang-tidy with the repository's .clang-tidy over the project's own sources.

    tidy_check.py SOURCE_DIR BUILD_DIR [--jobs N] [--per-file] [--verbose] [FILE...]

Every tracked .cpp under src/, tests/, bench/ and resources/ is checked with the flags the
build compiles it with, and the project's own headers through a header filter anchored at
SOURCE_DIR and at BUILD_DIR/include (where each library's headers are linked), so that what the
build generates (moc, uic and resource output) is never checked.

Nearly all of clang-tidy's time goes into parsing the Qt, GoogleTest and standard headers and
matching every check against them, again for each file. So files compiled with the same flags
are checked a few at a time in one translation unit: one file is the unit's main file and the
others come before it through `-include` of a small header each, so the library headers are
parsed and matched once per unit instead of once per file. Findings keep their own file and
line. Where checking together could change an answer, the units are undone:
  - a unit that does not compile as one (two files define the same internal name) is split:
    the files the errors name go on in a unit of their own;
  - a unit with findings is checked again file by file, and only those answers count;
  - misc-unused-using-decls looks at the main file alone: files that hold a using declaration
    are made main files where they can be, and the others get a run of that check alone (a
    quarter of the time of all the checks).
What is left is the checks that look at a whole unit (bugprone-forward-declaration-namespace):
another file's definition may keep one of them quiet. --per-file checks each file on its own,
as plain clang-tidy does.

The units run in parallel, one clang-tidy per core unless --jobs says otherwise; each one's
output is printed whole. Exits 1 when any file has a finding, 2 when the check cannot run.
"""

import argparse
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

SOURCE_ROOTS = ("src/", "tests/", "bench/", "resources/")
# Files of one unit at most: larger units balance worse over the cores and gain little more.
UNIT_SIZE = 12
# A namespace-scope using declaration (not "using namespace", not an alias).
USING_DECLARATION = re.compile(r"^\s*using\s+(?!namespace\b)[\w:]+::~?\w+\s*;", re.MULTILINE)
MAIN_FILE_CHECK = "misc-unused-using-decls"
INCLUDE_FLAGS = ("-I", "-isystem", "-iquote", "-idirafter")


def tracked_sources(source_dir):
    try:
        out = subprocess.run(["git", "ls-files", "--", "*.cpp"], cwd=source_dir, check=True,
                             capture_output=True, text=True).stdout.split()
    except (OSError, subprocess.CalledProcessError):
        out = []
    if not out:
        for root in SOURCE_ROOTS:
            for folder, _, names in os.walk(os.path.join(source_dir, root)):
                out += [os.path.relpath(os.path.join(folder, n), source_dir)
                        for n in names if n.endswith(".cpp")]
    return sorted(f for f in out if f.startswith(SOURCE_ROOTS))


def split_command(entry, path):
    """(compiler and flags, include directories, macro definitions) of a compile command,
    without the file, the output, dependency files and CMake's precompiled header (-include
    cmake_pch.hxx: clang refuses the GCC .gch beside it)."""
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    flags = [args[0]]
    includes = []
    defines = {}
    i = 1
    while i < len(args):
        arg = args[i]
        value = args[i + 1] if i + 1 < len(args) else ""
        if arg in ("-o", "-c", "-MF", "-MT", "-MQ"):
            i += 2
            continue
        if arg == "-include" and "cmake_pch" in value:
            i += 2
            continue
        if arg in INCLUDE_FLAGS:
            includes.append((arg, value))
            i += 2
            continue
        if arg.startswith("-D"):
            definition = value if arg == "-D" else arg[2:]
            name, equals, text = definition.partition("=")
            defines[name] = text if equals else None
            i += 2 if arg == "-D" else 1
            continue
        joined = next((f for f in INCLUDE_FLAGS if arg.startswith(f) and arg != f), None)
        if joined is not None:
            includes.append((joined, arg[len(joined):]))
        elif arg not in ("-Winvalid-pch", "-MD", "-MMD") and os.path.realpath(
                os.path.join(entry["directory"], arg)) != path:
            flags.append(arg)
        i += 1
    return flags, includes, defines


class Group:
    """Files compiled with the same flags. Their include directories and macros are joined: a
    file then only sees more headers, and a macro one target defines and another does not is
    one the other's files do not use. Targets that define one macro differently go to separate
    groups."""

    def __init__(self, directory, flags):
        self.directory = directory
        self.flags = flags
        self.includes = []
        self.defines = {}
        self.files = []
        self.mains = set()  # files that must be the main file of their unit
        self.conflicts = {}  # file -> the files it cannot share a unit with

    def accepts(self, directory, flags, defines):
        return directory == self.directory and flags == self.flags and all(
            self.defines.get(name, value) == value for name, value in defines.items())

    def add(self, path, includes, defines, must_be_main):
        for include in includes:
            if include not in self.includes:
                self.includes.append(include)
        self.defines.update(defines)
        self.files.append(path)
        if must_be_main:
            self.mains.add(path)

    def conflict(self, a, b):
        self.conflicts.setdefault(a, set()).add(b)
        self.conflicts.setdefault(b, set()).add(a)

    def units(self, size):
        """The files in units of at most `size`, each unit's main file last: the files that
        ask to be main head units first, no unit holds two files that clash, and the others go
        where there is the most room."""
        ordered = sorted(self.files, key=lambda f: f not in self.mains)
        count = -(-len(self.files) // size)
        units = []
        for path in ordered:
            clash = self.conflicts.get(path, set())
            fits = [u for u in units if len(u) < size and not clash.intersection(u)]
            if len(units) < count or not fits:
                units.append([path])
            else:
                min(fits, key=len).insert(0, path)
        return units

    def arguments(self):
        args = list(self.flags)
        for name, value in sorted(self.defines.items()):
            args.append(f"-D{name}" if value is None else f"-D{name}={value}")
        for flag, value in self.includes:
            args += [flag, value]
        return args


def find_conflicts(clang, group):
    """Notes which files of the group clash: one parse of all of them together reports every
    internal name that two of them declare, as an error (or warning) in the later file and a
    note at the first one. All the files that meet at one first declaration clash with each
    other. A file with an error that no note explains is checked on its own."""
    if len(group.files) < 2:
        return
    args = [clang] + group.arguments()[1:] + ["-fsyntax-only", "-ferror-limit=0"]
    for path in group.files[:-1]:
        args += ["-include", path]
    result = subprocess.run(args + [group.files[-1]], cwd=group.directory, capture_output=True,
                            text=True)
    members = set(group.files)
    meeting = {}  # a first declaration -> the files that clash there
    unexplained = set()
    failing = None
    for line in result.stderr.splitlines():
        place, _, rest = line.partition(": ")
        path = place.split(":")[0]
        if rest.startswith(("error:", "fatal error:", "warning:")):
            failing = path if path in members else None
            if failing is not None:
                unexplained.add(failing)
        elif rest.startswith("note:") and failing is not None and path in members:
            if path != failing:
                meeting.setdefault(place, {path}).add(failing)
                unexplained.discard(failing)
    for files in meeting.values():
        for a in files:
            for b in files:
                if a != b:
                    group.conflict(a, b)
    for path in unexplained:
        for other in group.files:
            if other != path:
                group.conflict(path, other)


class Runner:
    def __init__(self, tidy, source_dir, build_dir, work_dir, verbose):
        self.tidy = tidy
        self.source_dir = source_dir
        self.work_dir = work_dir
        self.verbose = verbose
        # The libraries' headers are included through the links of the build's include folder
        # (one per library, so that only its own folder shows), and clang names them by that path.
        self.header_filter = "^(" + re.escape(source_dir) + "/(" + "|".join(
            root.rstrip("/") for root in SOURCE_ROOTS) + ")|" + re.escape(build_dir) + "/include)/"
        self.config = os.path.join(source_dir, ".clang-tidy")
        self.runs = 0

    def run(self, group, files, checks=None):
        """One clang-tidy over `files` (main file last) as one unit: (exit code, output)."""
        unit_dir = tempfile.mkdtemp(dir=self.work_dir)
        args = group.arguments()
        for index, path in enumerate(files[:-1]):
            # Through a header: an #include of a .cpp is what bugprone-suspicious-include
            # reports, and this header lies outside the header filter.
            shim = os.path.join(unit_dir, f"file{index}.h")
            with open(shim, "w", encoding="utf-8") as f:
                f.write(f'#include "{path}"\n')
            args += ["-include", shim]
        main = files[-1]
        with open(os.path.join(unit_dir, "compile_commands.json"), "w", encoding="utf-8") as f:
            json.dump([{"directory": group.directory, "file": main,
                        "arguments": args + ["-c", main]}], f)
        started = time.monotonic()
        command = [self.tidy, "-p", unit_dir, "--quiet", f"--config-file={self.config}",
                   f"--header-filter={self.header_filter}"]
        if checks is not None:
            command.append(f"--checks={checks}")
        result = subprocess.run(command + [main], cwd=self.source_dir, capture_output=True,
                                text=True)
        self.runs += 1
        if self.verbose:
            print(f"tidy: {len(files)} file(s) in {time.monotonic() - started:.1f} s, exit "
                  f"{result.returncode}: {os.path.relpath(main, self.source_dir)}",
                  file=sys.stderr, flush=True)
        # clang-tidy says how many warnings it made and hid on stderr, even when quiet.
        noise = [line for line in result.stderr.splitlines()
                 if line.strip() and not line.endswith(" generated.")
                 and not line.startswith(("Suppressed ", "Use -header-filter"))]
        return result.returncode, result.stdout + ("\n".join(noise) + "\n" if noise else "")

    def check(self, unit):
        """Checks one unit; [(file, output)] for the files with findings."""
        group, files = unit
        code, output = self.run(group, files)
        if code == 0 and not output.strip():
            return []
        if len(files) == 1:
            return [(files[0], output)]
        if "[clang-diagnostic-error]" in output or "fatal error:" in output:
            if self.verbose:
                print("tidy: unit does not compile as one:\n" + output[:3000], file=sys.stderr)
            # The files the errors and their notes name go on apart.
            named = [f for f in files[:-1] if f + ":" in output]
            if named:
                rest = [f for f in files if f not in named]
                return self.check((group, rest)) + self.check((group, named))
        found = []
        for path in files:
            found += self.check((group, [path]))
        return found

    def check_using_declarations(self, unit):
        group, path = unit
        code, output = self.run(group, [path], checks=f"-*,{MAIN_FILE_CHECK}")
        return [(path, output)] if code != 0 or output.strip() else []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source_dir")
    parser.add_argument("build_dir")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--per-file", action="store_true",
                        help="check every file as a unit of its own")
    parser.add_argument("--verbose", action="store_true", help="a line for every clang-tidy run")
    parser.add_argument("files", nargs="*", help="only these files (relative to SOURCE_DIR)")
    options = parser.parse_intermixed_args()

    source_dir = os.path.realpath(options.source_dir)
    build_dir = os.path.realpath(options.build_dir)
    tidy = shutil.which("clang-tidy-16") or shutil.which("clang-tidy")
    if tidy is None:
        print("tidy: clang-tidy is not installed (scripts/setup.sh installs it)", file=sys.stderr)
        return 2
    try:
        with open(os.path.join(build_dir, "compile_commands.json"), encoding="utf-8") as f:
            database = json.load(f)
    except (OSError, ValueError) as error:
        print(f"tidy: cannot read the compile database: {error}", file=sys.stderr)
        return 2

    # A file that several targets compile (a test main) is checked once, with its first command.
    commands = {}
    for entry in database:
        path = os.path.realpath(os.path.join(entry.get("directory", ""), entry["file"]))
        commands.setdefault(path, entry)

    groups = []
    missing = []
    for relative in options.files or tracked_sources(source_dir):
        path = os.path.realpath(os.path.join(source_dir, relative))
        entry = commands.get(path)
        if entry is None:
            missing.append(relative)
            continue
        flags, includes, defines = split_command(entry, path)
        group = next((g for g in groups if g.accepts(entry["directory"], flags, defines)), None)
        if group is None:
            group = Group(entry["directory"], flags)
            groups.append(group)
        with open(path, encoding="utf-8", errors="replace") as f:
            group.add(path, includes, defines, bool(USING_DECLARATION.search(f.read())))
    if missing:
        # A file no target compiles would go unchecked: say so instead of passing quietly.
        print("tidy: no compile command for: " + " ".join(missing), file=sys.stderr)
        return 2

    started = time.monotonic()
    size = 1 if options.per_file else UNIT_SIZE
    clang = shutil.which("clang++-16") or shutil.which("clang++")
    if size > 1 and clang is not None:
        with ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
            list(pool.map(lambda group: find_conflicts(clang, group), groups))
    units = [(group, files) for group in groups for files in group.units(size)]
    # The largest first, so that the last to finish is a small one.
    units.sort(key=lambda unit: -len(unit[1]))
    using = [(group, path) for group, files in units for path in files[:-1]
             if path in group.mains]

    with tempfile.TemporaryDirectory(prefix="tidy.", dir=build_dir) as work_dir:
        runner = Runner(tidy, source_dir, build_dir, work_dir, options.verbose)
        with ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
            results = list(pool.map(runner.check, units))
            results += list(pool.map(runner.check_using_declarations, using))
    findings = set()
    for result in results:
        for path, output in result:
            findings.add(os.path.relpath(path, source_dir))
            sys.stdout.write(output)

    count = sum(len(group.files) for group in groups)
    print(f"tidy: {count} files in {len(units)} units ({runner.runs} clang-tidy runs), "
          f"{options.jobs} jobs, {time.monotonic() - started:.0f} s")
    if findings:
        print(f"tidy: findings in {len(findings)} file(s): " + " ".join(sorted(findings)))
        return 1
    print(f"tidy: {count} files clean")
    return 0


if __name__ == "__main__":
    sys.exit(main())
