#!/usr/bin/env python3
"""Writes cmake/program_layout.ld: which library code the program runs.

The program is linked statically, and the C and C++ libraries bring about
two thirds of its code, most of it never run (the name service, the dynamic
loader, wide-character printing, the demangler ...). The kernel maps code
64 KiB at a time around each page a run touches, so with the libraries
laid out as they come, a run over any page maps nearly the whole program.
The layout script gathers the library members a run uses next to the
program's own code that runs, so that a run maps that part only.

This tool finds those members: it runs the program under callgrind over
the bundled pages, the golden inputs and a generated page of each kind,
reads from the link map which archive member each executed instruction
lies in, and writes the script. The string routines the C library chooses
by processor (memmove for SSE2, AVX2, EVEX ...) are all listed when one
of them is run, since valgrind's processor is not the machine's.

usage: tools/hot_code.py BUILD-DIR   (a build whose program is linked with a
       map: BUILD-DIR/varnel and BUILD-DIR/varnel.map; needs valgrind)
"""
import bisect
import collections
import os
import re
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARIES = ["libc.a", "libstdc++.a", "libgcc_eh.a", "libgcc.a", "libm.a"]
# Object names of the C library's routines built for one processor family.
PROCESSOR_VARIANT = re.compile(r"-(sse|ssse3|avx|evex|erms|rtm|generic|unaligned|vec)")


def code_sections(map_path):
    """(address, size, archive, member) of every code section in the map."""
    lines = open(map_path, encoding="utf-8", errors="replace").read().split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith("Linker script and memory map"))
    sections = []
    output = None
    for i in range(start, len(lines)):
        line = lines[i]
        heading = re.match(r"^(\.\S+|__libc_freeres_fn)(\s|$)", line)
        if heading:
            output = heading.group(1)
        if output is None or not (output.startswith(".text") or output == "__libc_freeres_fn"):
            continue
        entry = re.match(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)", line)
        if not entry:
            lone = re.match(r"^ (\S+)\s*$", line)
            following = lines[i + 1].split() if i + 1 < len(lines) else []
            if not lone or len(following) < 3 or not following[0].startswith("0x"):
                continue
            entry = (int(following[0], 16), int(following[1], 16), following[2])
        else:
            entry = (int(entry.group(2), 16), int(entry.group(3), 16), entry.group(4))
        address, size, origin = entry
        member = re.search(r"([^/]+\.a)\(([^)]+)\)$", origin)
        if size > 0 and address > 0 and member:
            sections.append((address, size, member.group(1), member.group(2)))
    return sorted(sections)


def executed(program, args, scratch):
    """The addresses of the instructions one run executes."""
    out = tempfile.NamedTemporaryFile(dir=scratch, delete=False).name
    env = dict(os.environ, HTML_VARNEL=os.devnull)
    subprocess.run(["valgrind", "--tool=callgrind", "--dump-instr=yes",
                    "--callgrind-out-file=" + out, program] + args,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, check=False)
    addresses = set()
    last = 0
    with open(out) as profile:
        for line in profile:
            if line.startswith("0x"):
                last = int(line.split()[0], 16)
            elif line[:1] in "+-" and line[1:2].isdigit():
                last += int(line.split()[0])
            elif not line.startswith("*"):
                continue
            addresses.add(last)
    os.unlink(out)
    return addresses


def runs(build, scratch):
    """The command lines the list is taken from."""
    pages = [os.path.join(TOP, "examples", "sample.html")]
    cases = os.path.join(TOP, "tests", "cases")
    pages += sorted(os.path.join(cases, c, "input.html") for c in os.listdir(cases)
                    if os.path.exists(os.path.join(cases, c, "input.html")))
    for generator, name in (("gen_soup", "soup"), ("gen_prose", "prose")):
        path = os.path.join(build, generator)
        if os.path.exists(path):
            page = os.path.join(scratch, name + ".html")
            with open(page, "wb") as f:
                subprocess.run([path, "200000", "5"], stdout=f, check=True)
            pages.append(page)
    commands = [[page] for page in pages]
    sample = pages[0]
    for options in (["-asxhtml"], ["-indent"], ["-clean", "-q"], ["-e"], ["-asxml", "-utf8"],
                    ["-wrap", "60", "-upper"], ["-bare", "-numeric"]):
        commands.append(options + [sample])
    return commands


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    program = os.path.join(build, "varnel")
    sections = code_sections(os.path.join(build, "varnel.map"))
    starts = [s[0] for s in sections]
    with tempfile.TemporaryDirectory() as scratch:
        commands = runs(build, scratch)
        with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            results = list(pool.map(lambda args: executed(program, args, scratch), commands))
    hot = collections.defaultdict(set)
    for addresses in results:
        for address in addresses:
            i = bisect.bisect_right(starts, address) - 1
            if i >= 0 and address < sections[i][0] + sections[i][1]:
                hot[sections[i][2]].add(sections[i][3])
    members = collections.defaultdict(set)
    for _, _, archive, member in sections:
        members[archive].add(member)
    families = {m.split("-")[0] for m in hot["libc.a"] if PROCESSOR_VARIANT.search(m[:-2])}
    for member in members["libc.a"]:
        if PROCESSOR_VARIANT.search(member[:-2]) and member.split("-")[0] in families:
            hot["libc.a"].add(member)

    lines = [
        "/* The layout of the varnel program's code (GNU ld, static link):",
        "   written by tools/hot_code.py from runs of the program, not by hand.",
        "",
        "   .text.lead holds the code a run goes through: the program's own (all",
        "   but what its profile found never run, which the compiler puts in",
        "   .text.unlikely) and the library members its runs used. The rest of",
        "   the libraries follows in .text. The program maps the lead part at",
        "   start-up (varnel_lead_start .. varnel_lead_end) and the rest only",
        "   where a run reaches it. */",
        "SECTIONS",
        "{",
        "  .text.lead :",
        "  {",
        "    HIDDEN(varnel_lead_start = .);",
        "    *(.text.startup .text.startup.*)",
        "    *(.text.hot .text.hot.*)",
    ]
    for archive in LIBRARIES:
        for member in sorted(hot.get(archive, ())):
            lines.append("    *%s:%s(.text .text.*)" % (archive, member))
    lines.append("    EXCLUDE_FILE(%s) *(.text .text._*)" % " ".join("*%s:*" % a for a in LIBRARIES))
    lines += [
        "    HIDDEN(varnel_lead_end = .);",
        "  }",
        "}",
        "INSERT BEFORE .text;",
        "",
        "/* The end of the constants: the tables of frames for unwinding that",
        "   follow them are read only when an exception is thrown. */",
        "SECTIONS",
        "{",
        "  .rodata.end : { HIDDEN(varnel_constants_end = .); }",
        "}",
        "INSERT AFTER .rodata;",
    ]
    with open(os.path.join(TOP, "cmake", "program_layout.ld"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%d library members in the lead part of %d" %
          (sum(len(v) for v in hot.values()), sum(len(v) for v in members.values())))


if __name__ == "__main__":
    main()
