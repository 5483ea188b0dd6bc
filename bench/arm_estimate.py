#!/usr/bin/env python3
"""Instruction counts of the CPU rows under qemu, and a throughput model.

count: reads a qemu-user log written with -strace -d in_asm,exec,nochain and
       sums, for every function of the library, the instructions executed by
       class (vector or floating point, load or store, branch, the rest).
report: takes the counts of short and long runs of each instruction set,
       keeps what the extra frames cost, and prints instructions per pixel of
       each row family and the modelled time of a frame.
"""
import argparse
import bisect
import collections
import json
import re
import subprocess
import sys

# Issue model: instructions a cycle by class, and the front end's width.
# Cortex-A76: 4-wide decode, 2 ASIMD/FP pipes, 2 load/store pipes, 3 integer
# ALUs, 1 branch unit. Zen 4 (this x86 machine): 6-wide dispatch from the op
# cache, 4 vector pipes, 3 memory operations, 4 ALUs, 2 branches.
CORES = {
    "a76": {"width": 4, "vec": 2, "mem": 2, "int": 3, "br": 1},
    "zen4": {"width": 6, "vec": 4, "mem": 3, "int": 4, "br": 2},
}

# Row families, by the function names of their rows, any case (first match
# wins).
FAMILIES = [
    ("beauty mix", r"BeautyMixRow|BeautyGradeRow|::mix$|::gradeRow$"),
    ("beauty blur passes", r"beauty"),
    ("colour row", r"colorEnhance|colorCube"),
    ("low light row", r"lowlight"),
    ("YUV input", r"YUVToRGBARow|ChromaAcrossRow|YUVInput"),
    ("output conversion", r"PackedRow|PackedKeepAlpha|YUVRowToPacked|packedToI420|addRowChange"),
    ("denoiser", r"denois|temporal|blendBlocks|blendMoving|blendStatic|variance|copyBlock"),
]

ARM_BRANCH = re.compile(r"^(b|bl|blr|br|ret|cbz|cbnz|tbz|tbnz)$|^b\.")
ARM_VEC = re.compile(r"\b([vqdsbh]\d+|v\d+\.\w+)\b")


def classify(isa, mnemonic, operands):
    """The pipe class of one instruction; x86 memory operands count twice."""
    if isa == "arm":
        if mnemonic.startswith(("ld", "st", "prfm")):
            return ("mem",)
        if ARM_BRANCH.match(mnemonic):
            return ("br",)
        return ("vec",) if ARM_VEC.search(operands) else ("int",)
    if mnemonic.startswith(("j", "call", "ret")):
        return ("br",)
    vec = "%xmm" in operands or "%ymm" in operands or "%zmm" in operands
    mem = "(" in operands and not mnemonic.startswith(("lea", "nop"))
    out = ("vec",) if vec else ("int",)
    return out + ("mem",) if mem else out


def count(args):
    isa = args.isa
    blocks = {}  # pc -> [pc, class counts, the name qemu gives it]
    runs = collections.Counter()
    opened_fds = {}  # fd -> shared library opened on it
    modules = {}  # load address -> shared library
    current = None
    trace = re.compile(r"^Trace \d+: \S+ \[[0-9a-f]+/([0-9a-f]+)/")
    insn = re.compile(r"^0x([0-9a-f]+):\s+(.*)$")
    byte = re.compile(r"^[0-9a-f]{2}$|^[0-9a-f]{8}$")
    opened = re.compile(r'openat\(.*"([^"]*)".*\) = (\d+)$')
    mapped = re.compile(r"\bmmap\([^,]+,\d+,[^,]+,[^,]+,(\d+),0\) = (0x[0-9a-f]+)")
    for line in sys.stdin:
        if line.startswith("Trace"):
            m = trace.match(line)
            if m:
                runs[int(m.group(1), 16)] += 1
            continue
        if current is not None:
            m = insn.match(line)
            if m:
                words = m.group(2).split()
                k = 0
                while k < len(words) and byte.match(words[k]):
                    k += 1
                if k < len(words):
                    mnemonic = words[k]
                    operands = " ".join(words[k + 1:])
                    if current[0] is None:
                        current[0] = int(m.group(1), 16)
                    for c in classify(isa, mnemonic, operands):
                        current[1][c] += 1
                    current[1]["all"] += 1
                continue
            if current[0] is not None:
                blocks[current[0]] = current
            current = None
        if line.startswith("IN:"):
            current = [None, collections.Counter(), line[3:].strip()]
            continue
        if "openat(" in line:
            m = opened.search(line.strip())
            if m and ".so" in m.group(1):
                opened_fds[m.group(2)] = m.group(1).rsplit("/", 1)[-1]
        elif "mmap(" in line:
            m = mapped.search(line)
            if m and m.group(1) in opened_fds:
                modules[int(m.group(2), 16)] = opened_fds.pop(m.group(1))
    if current is not None and current[0] is not None:
        blocks[current[0]] = current

    symbols = []
    out = subprocess.run([args.nm, "-C", "--defined-only", args.library], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[1] in "tTwW":
            name = parts[2].replace("(anonymous namespace)::", "")
            symbols.append((int(parts[0], 16), name.split("(")[0]))
    symbols.sort()
    addresses = [a for a, _ in symbols]
    totals = collections.defaultdict(collections.Counter)
    bases = sorted(modules)
    base = next((b for b in bases if modules[b].startswith(args.library_name)), None)
    for pc, n in runs.items():
        block = blocks.get(pc)
        if block is None:
            continue
        # qemu names the program's own functions; the library's are looked
        # up, other libraries' code goes by the library's name.
        k = bisect.bisect_right(bases, pc) - 1
        module = modules[bases[k]] if k >= 0 and not block[2] else None
        name = "(outside) " + (block[2] or module or "the program")
        if module and module.startswith(args.library_name):
            k = bisect.bisect_right(addresses, pc - base) - 1
            name = symbols[max(k, 0)][1]
        for c, v in block[1].items():
            totals[name][c] += v * n
    json.dump({"modules": {hex(b): m for b, m in modules.items()}, "functions": totals},
              sys.stdout, indent=0)


OUTSIDE = "outside the library"


def family(name):
    if name.startswith("(outside) libyuv"):
        return "the rest"
    if name.startswith("(outside)"):
        return OUTSIDE
    for label, pattern in FAMILIES:
        if re.search(pattern, name, re.IGNORECASE):
            return label
    return "the rest"


def cycles(core, c):
    """Cycles of a function's instructions where its busiest resource bounds them."""
    m = CORES[core]
    return max(c["all"] / m["width"], *(c[k] / m[k] for k in ("vec", "mem", "int", "br")))


def report(args):
    runs = json.load(open(args.runs))
    scale = 1.0 / (runs["frames"] * runs["pixels"])
    full = runs["full_pixels"]
    per = {}  # isa -> function -> class counts a pixel of a steady frame
    for isa, (short_path, long_path) in runs["counts"].items():
        short = json.load(open(short_path))["functions"]
        long_ = json.load(open(long_path))["functions"]
        per[isa] = {}
        for name in set(short) | set(long_):
            d = collections.Counter(long_.get(name, {}))
            d.subtract(short.get(name, {}))
            per[isa][name] = collections.Counter({k: v * scale for k, v in d.items()})
    labels = [f for f, _ in FAMILIES] + ["the rest"]
    rows = labels + ["whole chain", OUTSIDE]

    def by_family(isa, core=None):
        """Instructions a pixel, or with a core the model's cycles a pixel."""
        out = collections.Counter()
        for name, c in per[isa].items():
            out[family(name)] += cycles(core, c) if core else c["all"]
        out["whole chain"] = sum(out[f] for f in labels)
        out["whole process"] = out["whole chain"] + out[OUTSIDE]
        return out

    isas = list(per)
    counts = {isa: by_family(isa) for isa in isas}
    lines = []
    w = lines.append
    w("Instructions a pixel of a steady frame (%s, one thread):" % runs["clip"])
    w("")
    w("| row | " + " | ".join(i.upper() for i in isas) + " |")
    w("|---|" + "---:|" * len(isas))
    for f in rows:
        w("| %s | %s |" % (f, " | ".join("%.1f" % counts[i][f] for i in isas)))

    w("")
    w("The issue model on this machine (Zen 4, %.2f GHz measured), a 1280x720 frame; "
      "measured: the CPU time of the tool with the effects less that with the denoiser "
      "alone, so the rows but the denoiser's:" % runs["clock_ghz"])
    w("")
    w("| set | instructions (M) | model cycles (M) | measured cycles (M) | measured ms | "
      "measured / model |")
    w("|---|---:|---:|---:|---:|---:|")
    ratios = []
    for isa, ms in runs["measured_ms"].items():
        c = by_family(isa, "zen4")
        model = (c["whole chain"] - c["denoiser"]) * full
        insns = (counts[isa]["whole chain"] - counts[isa]["denoiser"]) * full
        got_ms = ms - runs["baseline_ms"][isa]
        got = got_ms * runs["clock_ghz"] * 1e6
        ratios.append(got / model)
        w("| %s | %.0f | %.0f | %.0f | %.1f | %.2f |" % (isa.upper(), insns / 1e6, model / 1e6,
                                                         got / 1e6, got_ms, got / model))
    k = sum(ratios) / len(ratios)

    ghz = runs["a76_ghz"]
    a76 = by_family("neon", "a76")
    w("")
    w("Expected on a %.1f GHz Cortex-A76, NEON rows, one core, a 1280x720 frame "
      "(model x %.2f, the mean measured / model above):" % (ghz, k))
    w("")
    w("| row | NEON instructions a pixel | model ms | expected ms |")
    w("|---|---:|---:|---:|")
    for f in labels + ["whole chain"]:
        ms = a76[f] * full / (ghz * 1e6)
        w("| %s | %.1f | %.1f | %.1f |" % (f, counts["neon"][f], ms, ms * k))
    print("\n".join(lines))
    if args.json:
        json.dump({isa: {n: dict(c) for n, c in fns.items()} for isa, fns in per.items()},
                  open(args.json, "w"), indent=1)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    sub = p.add_subparsers(dest="command", required=True)
    c = sub.add_parser("count", help="qemu log on standard input to counts as JSON")
    c.add_argument("--isa", choices=("arm", "x86"), required=True)
    c.add_argument("--library", required=True)
    c.add_argument("--library-name", default="libkelvo_video_process.so")
    c.add_argument("--nm", default="nm")
    r = sub.add_parser("report", help="counts of the runs to the tables")
    r.add_argument("runs", help="JSON naming the counts and the measured times")
    r.add_argument("--json", help="also write the per-pixel counts here")
    args = p.parse_args()
    count(args) if args.command == "count" else report(args)


if __name__ == "__main__":
    main()
