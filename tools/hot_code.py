#!/usr/bin/env python3
"""Writes cmake/program_layout.ld: where the program's code and constants lie.

The program is linked statically, and the C and C++ libraries bring about
two thirds of its code, most of it never run (the name service, the dynamic
loader, wide-character printing, the demangler ...). The kernel maps the
program's file 64 KiB at a time around each page a run touches (and so
counts it in the run's memory), so with the code laid out as it comes, a
run over any page maps nearly all of it. The layout script puts first the
code a run over an ordinary page goes through (the core, which the program
maps at start-up), then the rest of what any run goes through, then the
rest of the libraries; and the constants the core reads before all others.

The program is compiled with a section for each function and each
constant (-ffunction-sections -fdata-sections), so that the script can
place each on its own; the libraries' members are placed whole where
their code has no sections of its own.

This tool finds those sections: it runs the program under callgrind over
the bundled pages, the golden inputs and a generated page of each kind,
with the default options and with several others, and reads from the link
map which section each executed instruction lies in. The core is what the
runs with default options (and quiet) over the sample page and the
generated soup and prose go through, with what at least a fiftieth of
the golden inputs do.
The constants of the core are the program's own, those of the library
members in the core, and those valgrind's record of memory reads shows
the core runs reading. The string routines the C library chooses by processor
(memmove for SSE2, AVX2, EVEX ...) are all listed when one of them is run,
since valgrind's processor is not the machine's; those the machine itself
chooses (read with gdb from the program's table of resolved routines)
join the core.

usage: tools/hot_code.py BUILD-DIR   (a build whose program is linked with a
       map: BUILD-DIR/varnel and BUILD-DIR/varnel.map; needs valgrind, and
       gdb for the machine's own string routines)
"""
import bisect
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARIES = ["libc.a", "libstdc++.a", "libgcc_eh.a", "libgcc.a", "libm.a"]
# Object names of the C library's routines built for one processor family.
PROCESSOR_VARIANT = re.compile(r"-(sse|ssse3|avx|evex|erms|rtm|generic|unaligned|vec)")
# Sections that name no function: from the link-time objects (whose file
# names change with every link) they cannot be placed by name.
GENERIC = {".text", ".text.hot", ".text.unlikely", ".text.startup", ".rodata"}
# The share of the golden inputs whose runs must go through a section for
# it to join the core.
CORE_SHARE = 0.02
PAGE = 4096
# Constants in sections larger than this, of which the runs read less than
# half the pages, are not mapped at start-up.
SPARSE_BYTES = 16384


def input_sections(map_path, wanted):
    """(address, size, name, origin) of every input section placed in an
    output section for which wanted(output name) holds."""
    lines = open(map_path, encoding="utf-8", errors="replace").read().split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith("Linker script and memory map"))
    sections = []
    output = None
    for i in range(start, len(lines)):
        line = lines[i]
        heading = re.match(r"^(\.\S+|__libc_freeres_fn)(\s|$)", line)
        if heading:
            output = heading.group(1)
        if output is None or not wanted(output):
            continue
        entry = re.match(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)", line)
        if entry:
            name, address, size, origin = (entry.group(1), int(entry.group(2), 16),
                                           int(entry.group(3), 16), entry.group(4))
        else:
            lone = re.match(r"^ (\S+)\s*$", line)
            following = lines[i + 1].split() if i + 1 < len(lines) else []
            if not lone or len(following) < 3 or not following[0].startswith("0x"):
                continue
            name, address, size, origin = (lone.group(1), int(following[0], 16),
                                           int(following[1], 16), following[2])
        if size > 0 and address > 0 and not name.startswith("*"):
            sections.append((address, size, name, origin))
    return sorted(sections)


def member_of(origin):
    """(archive, member) for a section from a library member, else None."""
    member = re.search(r"([^/]+\.a)\(([^)]+)\)$", origin)
    return (member.group(1), member.group(2)) if member else None


def is_processor_variant(origin):
    """Whether a section comes from one of the C library's routines built
    for one processor family."""
    member = member_of(origin)
    return member is not None and member[0] == "libc.a" and bool(
        PROCESSOR_VARIANT.search(member[1][:-2]))


def pattern(name, origin):
    """The script's pattern for one input section (None where it has none)."""
    member = member_of(origin)
    if member:
        return "*%s:%s(%s)" % (member[0], member[1], name)
    if name in GENERIC:
        base = os.path.basename(origin)
        return None if "ltrans" in base else "*%s(%s)" % (base, name)
    return "*(%s)" % name


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


def read_addresses(program, args, low, high):
    """The addresses in [low, high) that one run reads (valgrind's lackey;
    grep keeps the few lines that fall near the program's image)."""
    env = dict(os.environ, HTML_VARNEL=os.devnull)
    # The leading digits that every address of the range shares, as lackey
    # prints them (eight hexadecimal digits at least).
    common = os.path.commonprefix(["%08x" % low, "%08x" % (high - 1)])
    command = ("valgrind --tool=lackey --trace-mem=yes --log-fd=3 \"$@\" 3>&1 >/dev/null 2>&1"
               " | grep -E '^ [LM] %s'" % common)
    result = subprocess.run(["bash", "-c", command, "lackey", program] + args,
                            stdout=subprocess.PIPE, env=env, check=False)
    addresses = set()
    for line in result.stdout.decode().split("\n"):
        parts = line[3:].split(",")
        if len(parts) == 2:
            address = int(parts[0], 16)
            if low <= address < high:
                addresses.add(address)
    return addresses


def native_routines(program):
    """The addresses of the routines the C library chose for this machine:
    the entries of the program's table of resolved routines (IRELATIVE
    relocations), read with gdb once the library has started."""
    if shutil.which("gdb") is None:
        print("gdb not found: the machine's own string routines are not in the core",
              file=sys.stderr)
        return set()
    relocations = subprocess.run(["readelf", "-rW", program], stdout=subprocess.PIPE,
                                 check=True).stdout.decode()
    slots = [int(line.split()[0], 16) for line in relocations.split("\n")
             if "IRELATIVE" in line and line.split()[0][:1].isalnum()]
    if not slots:
        return set()
    commands = ["set pagination off", "break main", "run /dev/null > /dev/null 2>&1"]
    commands += ["x/1gx 0x%x" % slot for slot in slots]
    with tempfile.NamedTemporaryFile("w", suffix=".gdb", delete=False) as script:
        script.write("\n".join(commands) + "\n")
    env = dict(os.environ, HTML_VARNEL=os.devnull)
    output = subprocess.run(["gdb", "-batch", "-x", script.name, program], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, env=env, check=False).stdout.decode()
    os.unlink(script.name)
    return {int(m.group(1), 16) for m in re.finditer(r"^0x[0-9a-f]+[^:]*:\s+0x([0-9a-f]+)", output,
                                                       re.M)}


def runs(build, scratch):
    """The command lines the layout is taken from, and which of them make
    the core: [(arguments, kind)], kind "base" (default options, or quiet,
    over the sample and the generated pages), "golden" (default options
    over a golden input) or "options"."""
    sample = os.path.join(TOP, "examples", "sample.html")
    # (Quiet, as scripts and the benchmarks run it, and not.)
    commands = [([sample], "base"), (["-q", sample], "base")]
    # Pages of both kinds, small and as large as the benchmark's smallest
    # (a small page's files are handled apart, and a large tree goes through
    # routines a small one never needs, such as taking a second block of
    # records), two of each.
    for generator, name in (("gen_soup", "soup"), ("gen_prose", "prose")):
        path = os.path.join(build, generator)
        if not os.path.exists(path):
            continue
        for size in (30000, 2000000):
            for seed in (5, 6):
                page = os.path.join(scratch, "%s-%d-%d.html" % (name, size, seed))
                with open(page, "wb") as f:
                    subprocess.run([path, str(size), str(seed)], stdout=f, check=True)
                commands.append((["-q", page], "base"))
    cases = os.path.join(TOP, "tests", "cases")
    for case in sorted(os.listdir(cases)):
        page = os.path.join(cases, case, "input.html")
        if os.path.exists(page):
            commands.append(([page], "golden"))
    for options in (["-asxhtml"], ["-indent"], ["-clean", "-q"], ["-e"], ["-asxml", "-utf8"],
                    ["-wrap", "60", "-upper"], ["-bare", "-numeric"]):
        commands.append((options + [sample], "options"))
    return commands


def small_pages(build, scratch):
    """Pages for the record of constants read (valgrind's lackey is slow):
    the sample and smaller generated pages."""
    pages = [os.path.join(TOP, "examples", "sample.html")]
    for generator, name in (("gen_soup", "soup"), ("gen_prose", "prose")):
        path = os.path.join(build, generator)
        if os.path.exists(path):
            page = os.path.join(scratch, name + "-small.html")
            with open(page, "wb") as f:
                subprocess.run([path, "40000", "5"], stdout=f, check=True)
            pages.append(page)
    return pages


def locate(sections, starts, addresses):
    """The indexes of the sections that hold any of the addresses."""
    found = set()
    for address in addresses:
        i = bisect.bisect_right(starts, address) - 1
        if i >= 0 and address < sections[i][0] + sections[i][1]:
            found.add(i)
    return found


def code_layout(build, program, scratch):
    """The core's patterns, in address order, and the library members the
    other runs go through."""
    code = input_sections(os.path.join(build, "varnel.map"),
                          lambda out: out.startswith(".text") or out == "__libc_freeres_fn")
    starts = [s[0] for s in code]
    commands = runs(build, scratch)
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        results = list(pool.map(lambda c: executed(program, c[0], scratch), commands))
    per_run = [locate(code, starts, addresses) for addresses in results]
    core = set()
    golden = collections.Counter()
    golden_runs = 0
    for (_, kind), found in zip(commands, per_run):
        if kind == "base":
            core |= found
        elif kind == "golden":
            golden_runs += 1
            golden.update(found)
    core |= {i for i, count in golden.items() if count >= CORE_SHARE * golden_runs}
    # Of the routines chosen by processor, the core holds those the machine
    # chooses; those valgrind's processor chose only where that is unknown.
    native = locate(code, starts, native_routines(program))
    if native:
        core = {i for i in core if not is_processor_variant(code[i][3])} | native

    hot = collections.defaultdict(set)
    for found in per_run:
        for i in found:
            member = member_of(code[i][3])
            if member:
                hot[member[0]].add(member[1])
    members = collections.defaultdict(set)
    for _, _, _, origin in code:
        member = member_of(origin)
        if member:
            members[member[0]].add(member[1])
    families = {m.split("-")[0] for m in hot["libc.a"] if PROCESSOR_VARIANT.search(m[:-2])}
    for member in members["libc.a"]:
        if PROCESSOR_VARIANT.search(member[:-2]) and member.split("-")[0] in families:
            hot["libc.a"].add(member)
    patterns = []
    for i in sorted(core):
        p = pattern(code[i][2], code[i][3])
        if p is not None and p not in patterns:
            patterns.append(p)
    core_bytes = sum(code[i][1] for i in core)
    # The library members of the core: their constants join the core's
    # (valgrind's runs over small pages do not read all that the core's
    # routines may, and it never sees the routines chosen by processor).
    core_members = {member_of(code[i][3]) for i in core} - {None}
    return patterns, hot, core_bytes, members, core_members


def constants_layout(build, program, scratch, core_members):
    """The patterns of the library constants the core runs read (the
    program's own all lie first anyway), and their size."""
    constants = input_sections(os.path.join(build, "varnel.map"),
                               lambda out: out.startswith(".rodata"))
    if not constants:
        return [], 0
    starts = [s[0] for s in constants]
    low = constants[0][0]
    high = constants[-1][0] + constants[-1][1]
    pages = small_pages(build, scratch)
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        results = list(pool.map(lambda page: read_addresses(program, [page], low, high), pages))
    pages = collections.defaultdict(set)
    for addresses in results:
        for address in addresses:
            for i in locate(constants, starts, [address]):
                pages[i].add(address // PAGE)
    chosen = [i for i, c in enumerate(constants) if member_of(c[3]) in core_members]
    mapped = []
    total = 0
    for i in sorted(set(pages) | set(chosen)):
        member = member_of(constants[i][3])
        if member is None:
            continue
        # A large table of which the runs read a few pages (the C library's
        # character classes, beside its tables of transliteration) is left
        # to be mapped where it is read.
        if constants[i][1] > SPARSE_BYTES and len(pages.get(i, ())) * PAGE * 2 < constants[i][1]:
            continue
        p = "*%s:%s(%s)" % (member[0], member[1], constants[i][2])
        if p not in mapped:
            mapped.append(p)
            total += constants[i][1]
    return mapped, total


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    program = os.path.join(build, "varnel")
    with tempfile.TemporaryDirectory() as scratch:
        core, hot, core_bytes, members, core_members = code_layout(build, program, scratch)
        constant_patterns, constant_bytes = constants_layout(build, program, scratch,
                                                             core_members)

    libraries = " ".join("*%s:*" % a for a in LIBRARIES)
    lines = [
        "/* The layout of the varnel program's code and constants (GNU ld,",
        "   static link): written by tools/hot_code.py from runs of the",
        "   program, not by hand.",
        "",
        "   .text.lead holds the code runs go through. First the core, what a",
        "   run over an ordinary page goes through, which the program maps at",
        "   start-up (varnel_lead_start .. varnel_core_end); then the C",
        "   library's routines of the core built for other processors, and the",
        "   rest of the program's own code (all but what its profile found never run,",
        "   which the compiler puts in .text.unlikely) and the library members",
        "   other runs used. The rest of the libraries follows in .text, and",
        "   is mapped only where a run reaches it. */",
        "SECTIONS",
        "{",
        "  .text.lead :",
        "  {",
        "    HIDDEN(varnel_lead_start = .);",
    ]
    lines += ["    %s" % p for p in core]
    lines += [
        "    HIDDEN(varnel_core_end = .);",
    ]
    # Right after the core, the C library's routines of the core's families
    # built for other processors: where the machine chooses other ones
    # than this one, they lie together there.
    families = {m[1].split("-")[0] for m in core_members
                if m[0] == "libc.a" and PROCESSOR_VARIANT.search(m[1][:-2])}
    variants = sorted(m for m in hot.get("libc.a", ())
                      if PROCESSOR_VARIANT.search(m[:-2]) and m.split("-")[0] in families)
    lines += ["    *libc.a:%s(.text .text.*)" % m for m in variants]
    lines += [
        "    *(.text.startup .text.startup.*)",
        "    *(.text.hot .text.hot.*)",
    ]
    for archive in LIBRARIES:
        for member in sorted(hot.get(archive, ())):
            if archive != "libc.a" or member not in variants:
                lines.append("    *%s:%s(.text .text.*)" % (archive, member))
    lines.append("    EXCLUDE_FILE(%s) *(.text .text._*)" % libraries)
    lines += [
        "    HIDDEN(varnel_lead_end = .);",
        "  }",
        "}",
        "INSERT BEFORE .text;",
        "",
        "/* The constants the core reads: the program's own, then those of the",
        "   libraries. The program maps them at start-up, up to",
        "   varnel_constants_end. The tables for unwinding follow at once:",
        "   the start-up reads their first word (to see whether there are any),",
        "   which then lies in the last 64 KiB the kernel maps of the",
        "   constants anyway. Then the libraries' other constants (tables of",
        "   transliteration, of powers of ten for printing numbers ...). */",
        "SECTIONS",
        "{",
        "  /* (The constants start a segment of their own, as in the linker's",
        "     own script.) */",
        "  . = ALIGN(CONSTANT (MAXPAGESIZE));",
        "  . = SEGMENT_START(\"rodata-segment\", ALIGN(CONSTANT (MAXPAGESIZE)) + (. & (CONSTANT (MAXPAGESIZE) - 1)));",
        "  .rodata.lead :",
        "  {",
        "    EXCLUDE_FILE(%s) *(.rodata .rodata.*)" % libraries,
    ]
    lines += ["    %s" % p for p in constant_patterns]
    lines += [
        "    HIDDEN(varnel_constants_end = .);",
        "  }",
        "  .eh_frame : { KEEP (*(.eh_frame)) *(.eh_frame.*) }",
        "}",
        "INSERT BEFORE .rodata;",
    ]
    with open(os.path.join(TOP, "cmake", "program_layout.ld"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("core: %d sections, %d KiB; library members in the lead part: %d of %d; "
          "library constants read: %d sections, %d KiB" %
          (len(core), core_bytes // 1024, sum(len(v) for v in hot.values()),
           sum(len(v) for v in members.values()), len(constant_patterns), constant_bytes // 1024))


if __name__ == "__main__":
    main()
