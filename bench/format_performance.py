#!/usr/bin/env python3
"""Turns the benchmark JSON files and ffmpeg timings of run_performance.sh
into one Markdown page. Standard library only.

    format_performance.py OUT_DIR PAGE COMMAND LOAD_BEFORE LOAD_AFTER FRAMES REPS

OUT_DIR holds one JSON file per benchmark program, ffmpeg.tsv (ffmpeg's
filters per frame) and tool.tsv (whole processes, from tool_vs_ffmpeg.sh).
"""
import csv
import glob
import json
import os
import sys

SIZES = [(640, 480), (1280, 720), (1920, 1080)]
FORMATS = ["I420", "I422", "NV21", "NV12", "YV12", "RGBA", "ARGB", "BGRA"]

# Floors a GPU stage is held against, as sums of the three floor benchmarks.
PASS = {"BM_FloorPass": 1}
UPLOAD_PASS = {"BM_FloorUploadI420": 1, "BM_FloorPass": 1}
READBACK = {"BM_FloorReadbackRGBA": 1}
# Upload, the YUV pass, low light, colour, beauty's mix and its four passes at
# a quarter of the area (one pass together), readback.
FRAME = {"BM_FloorUploadI420": 1, "BM_FloorPass": 5, "BM_FloorReadbackRGBA": 1}


# Parts of a run name that are Google Benchmark's own, not arguments.
RUN_KEYWORDS = {"min_time", "min_warmup_time", "repeats", "iterations"}

# Keys of a benchmark's JSON record that are not user counters.
RECORD_KEYS = {"name", "family_index", "per_family_instance_index", "run_name", "run_type",
               "repetitions", "repetition_index", "threads", "aggregate_name", "aggregate_unit",
               "iterations", "real_time", "cpu_time", "time_unit", "label", "error_occurred",
               "error_message", "skipped", "skip_message"}


def load_medians(out_dir):
    """The median of every benchmark as a dict: program (the JSON file's
    name), name (with a BENCHMARK_CAPTURE variant: "BM_CpuBeauty/avx2"), w, h,
    label, args (the arguments after width and height: {name or position:
    value}), wall, cpu, fps, counters (every user counter by name). With a
    single repetition there is no median: the one run stands for it."""
    entries = []
    for path in sorted(glob.glob(os.path.join(out_dir, "*.json"))):
        if os.path.getsize(path) == 0:  # a program none of whose benchmarks was asked for
            continue
        with open(path) as f:
            data = json.load(f)
        program = os.path.splitext(os.path.basename(path))[0]
        records = data.get("benchmarks", [])
        medians = {b["run_name"] for b in records if b.get("aggregate_name") == "median"}
        for b in records:
            if b.get("run_type") == "aggregate":
                if b.get("aggregate_name") != "median":
                    continue
            elif b["run_name"] in medians:
                continue
            if b.get("error_occurred"):
                continue
            parts = b["run_name"].split("/")
            name = parts[0]
            values = []  # (argument name or "", value)
            for part in parts[1:]:
                key, _, value = part.rpartition(":")
                if value.isdigit():
                    if key not in RUN_KEYWORDS:
                        values.append((key, int(value)))
                elif part not in ("real_time", "process_time", "manual_time") and not key:
                    name += "/" + part
            if len(values) < 2:
                continue
            args = {}
            for i, (key, value) in enumerate(values[2:]):
                args[key or str(i)] = value
            scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}[b.get("time_unit", "ms")]
            entries.append({
                "program": program, "name": name, "w": values[0][1], "h": values[1][1],
                "label": b.get("label", ""), "args": args,
                "wall": b["real_time"] * scale, "cpu": b["cpu_time"] * scale,
                "fps": b.get("fps"),
                "counters": {k: v for k, v in b.items()
                             if k not in RECORD_KEYS and isinstance(v, (int, float))},
            })
    return entries


def load_peers(out_dir):
    peers = {}
    path = os.path.join(out_dir, "ffmpeg.tsv")
    if not os.path.exists(path):
        return peers
    with open(path) as f:
        for row in csv.DictReader(f, delimiter="\t"):
            w, h = (int(v) for v in row["size"].split("x"))
            cpu = float(row["ms"])
            peers[(row["peer"], w, h)] = {
                "wall": float(row["wall_ms"]),
                "cpu": cpu,
                "fps": 1000.0 / cpu if cpu > 0 else None,
            }
    return peers


def load_tool_runs(out_dir):
    """Whole-process runs of tool_vs_ffmpeg.sh: {tool: {"wall": median wall ms
    a frame, "cpu": median user + system ms a frame, "runs": count, "clip":
    "FRAMES frames of WxH"}}."""
    path = os.path.join(out_dir, "tool.tsv")
    if not os.path.exists(path):
        return {}
    runs = {}
    clip = ""
    with open(path) as f:
        for row in csv.DictReader(f, delimiter="\t"):
            frames = float(row["frames"])
            clip = "%s frames of %s" % (row["frames"], row.get("size") or "?")
            runs.setdefault(row["tool"], []).append(
                (1000 * float(row["wall_s"]) / frames,
                 1000 * (float(row["user_s"]) + float(row["sys_s"])) / frames))

    def median(values):
        values = sorted(values)
        n = len(values)
        return values[n // 2] if n % 2 else (values[n // 2 - 1] + values[n // 2]) / 2
    return {tool: {"wall": median([w for w, _ in r]), "cpu": median([c for _, c in r]),
                   "runs": len(r), "clip": clip} for tool, r in runs.items()}


def fmt(value, digits=2):
    if value is None:
        return "–"
    if value >= 100:
        return "%.0f" % value
    if value >= 10:
        return "%.1f" % value
    return "%.*f" % (digits, value)


def table(first, columns, rows, sizes=SIZES):
    """Markdown lines: one row per (text, {size: [cell, ...]}), the cells of
    each size under columns."""
    header = "| %s |" % first
    rule = "|---|"
    for w, h in sizes:
        for i, column in enumerate(columns):
            header += " %s |" % ("%dx%d %s" % (w, h, column) if i == 0 else column)
            rule += "--:|"
    lines = [header, rule]
    for text, cells in rows:
        line = "| %s |" % text
        for size in sizes:
            for value in cells.get(size) or ["–"] * len(columns):
                line += " %s |" % value
        lines.append(line)
    lines.append("")
    return lines


def times(r):
    """ms, CPU ms and fps cells of one median."""
    if r is None:
        return ["–", "–", "–"]
    return [fmt(r["wall"]), fmt(r["cpu"]), fmt(r["fps"], 1)]


def ratio(a, b):
    return ("%.1f" % (a / b)) if a is not None and b else "–"


def best_beauty_rows(get):
    """The CPU beauty row set the engine would take: the widest measured
    (the others are skipped where the CPU lacks them)."""
    for rows in ("avx2", "sse2", "portable"):
        if any(get("BM_CpuBeauty/" + rows, w, h) for w, h in SIZES):
            return rows
    return None


def cpu_sections(get, peers):
    lines = []
    beauty_rows = best_beauty_rows(get)
    # CPU kernel, GL benchmarks it mirrors (their times are added).
    mirrors = [
        ("YUV input conversion (GL: upload + YUV pass)", "BM_YUVInput", ["BM_YUVUploadToRGB"]),
        ("Low light", "BM_LowlightEnhance", ["BM_LowlightEnhanceDraw"]),
        ("Colour enhancement", "BM_ColorEnhance", ["BM_ColorEnhanceDraw"]),
        ("Output conversion to I420 (GL: readback + conversion)", "BM_YUVOutput",
         ["BM_ReadbackToI420"]),
        ("The four in a row (GL: the four stages above added)", "BM_Chain",
         ["BM_YUVUploadToRGB", "BM_LowlightEnhanceDraw", "BM_ColorEnhanceDraw",
          "BM_ReadbackToI420"]),
    ]
    rows = []
    for text, cpu_name, gl_names in mirrors:
        cells = {}
        for w, h in SIZES:
            gl = [get(n, w, h) for n in gl_names]
            gl_ms = sum(r["wall"] for r in gl) if all(gl) else None
            one = get(cpu_name, w, h, threads=1)
            two = get(cpu_name, w, h, threads=2)
            cells[(w, h)] = [fmt(gl_ms), fmt(one and one["wall"]), fmt(two and two["wall"]),
                             ratio(gl_ms, one and one["wall"])]
        rows.append((text, cells))
    if beauty_rows:
        cells = {}
        for w, h in SIZES:
            gl = get("BM_BeautyDraw", w, h)
            one = get("BM_CpuBeauty/" + beauty_rows, w, h)
            two = get("BM_CpuBeautyTwoBands", w, h)
            cells[(w, h)] = [fmt(gl and gl["wall"]), fmt(one and one["wall"]),
                             fmt(two and two["wall"]),
                             ratio(gl and gl["wall"], one and one["wall"])]
        rows.append(("Beauty (GL: 4 half-size passes + mix)", cells))
    if not any(any(v != "–" for v in c[1:3]) for _, cells in rows for c in cells.values()):
        return lines
    lines.append("## CPU kernels beside the GL passes they mirror")
    lines.append("")
    lines.append("Median wall ms per frame. The CPU kernels compute what the shaders compute, "
                 "on RGBA8 images, split into rows over the worker pool (1 thread: no pool "
                 "threads; 2: two). GL ÷ 1T: how many times faster the CPU kernel on one "
                 "thread is than the GL pass. The CPU figures are of a camera-like I420 "
                 "frame with the skin table loaded; beauty uses the %s rows and its 2-thread "
                 "figure starts a helper thread per stage, which the engine's pool does "
                 "not. The GL path's output stage is CPU work too, a readback and then "
                 "SIMD conversion rows, so that row compares two CPU conversions." % (
                     beauty_rows or "fastest"))
    lines.append("")
    lines.extend(table("stage", ["GL ms", "CPU 1T ms", "CPU 2T ms", "GL ÷ 1T"], rows))
    for w, h in SIZES:
        parts = [get("BM_Chain", w, h, threads=1),
                 get("BM_CpuBeauty/" + beauty_rows, w, h) if beauty_rows else None,
                 get("BM_DenoiserDraw", w, h)]
        gl = get("BM_ProcessFrameAllEffects", w, h)
        chain = peers.get(("chain", w, h))
        if not all(parts):
            continue
        total = sum(r["wall"] for r in parts)
        total_cpu = sum(r["cpu"] for r in parts)
        text = ("- %dx%d, one thread: the four kernels in a row, beauty and the denoiser "
                "add up to %.1f ms (%.1f CPU ms)" % (w, h, total, total_cpu))
        if gl:
            text += "; the GL path's processFrame takes %.1f ms, %.1fx as long" % (
                gl["wall"], gl["wall"] / total)
        if chain:
            text += "; ffmpeg's chain %.1f CPU ms, %.2fx as long as these CPU ms" % (
                chain["cpu"], chain["cpu"] / total_cpu)
        lines.append(text + ".")
    lines.append("")
    lines.append("These sums estimate processFrame on the CPU backend from its parts; they "
                 "leave out the engine's own work (buffer checks, detection, observer "
                 "reports).")
    lines.append("")

    rows = [("GL beauty (4 half-size passes + mix)", "BM_BeautyDraw"),
            ("CPU, 1 thread, portable rows", "BM_CpuBeauty/portable"),
            ("CPU, 1 thread, SSE2 rows", "BM_CpuBeauty/sse2"),
            ("CPU, 1 thread, AVX2 rows", "BM_CpuBeauty/avx2"),
            ("CPU, 2 threads (each stage in two bands)", "BM_CpuBeautyTwoBands"),
            ("CPU, 1 thread, both tables read per pixel instead of the cube",
             "BM_CpuBeautyTables"),
            ("CPU, 1 thread, without the gradings", "BM_CpuBeautyWithoutTables")]
    rows = [(text, {(w, h): times(get(name, w, h)) for w, h in SIZES}) for text, name in rows]
    if any(c[0] != "–" for _, cells in rows[1:] for c in cells.values()):
        lines.append("## Beauty on the CPU")
        lines.append("")
        lines.append("ms: median wall ms per frame; CPU ms: CPU time of the whole process; "
                     "fps: of wall time. The CPU effect runs on a face-like RGBA frame with "
                     "both gradings read from one colour cube, as the engine runs it, unless "
                     "said otherwise.")
        lines.append("")
        lines.extend(table("beauty", ["ms", "CPU ms", "fps"], rows))
        stages = [(0, "downsize (rows halved in width)"), (1, "soften (passes 1 to 3)"),
                  (2, "spread (pass 4, widened back)"), (3, "mix (pass 5, sharpening, gradings)")]
        found = [(text, get("BM_CpuBeautyStage", 1280, 720, stage=s)) for s, text in stages]
        whole = get("BM_CpuBeauty/" + beauty_rows, 1280, 720) if beauty_rows else None
        if all(r for _, r in found):
            total = sum(r["wall"] for _, r in found)
            lines.append("Stages at 1280x720, one thread, the engine's rows: %s; together "
                         "%.2f ms%s." % (
                             ", ".join("%s %.2f ms (%.0f %%)" % (t, r["wall"],
                                                               100 * r["wall"] / total)
                                       for t, r in found), total,
                             " against %.2f ms for the whole effect" % whole["wall"]
                             if whole else ""))
            lines.append("")

    rows = [("Level 0, luma (as specified)", get, "BM_DenoiserDraw"),
            ("Level 2, luma and chroma", get, "BM_DenoiserDrawStrong")]
    rows = [(text, {(w, h): times(f(name, w, h)) for w, h in SIZES}) for text, f, name in rows]
    rows.append(("ffmpeg hqdn3d, defaults, all planes",
                 {(w, h): times(peers.get(("hqdn3d", w, h))) for w, h in SIZES}))
    strong = get("BM_DenoiserDrawStrong", 1280, 720)
    if strong:
        lines.append("## Denoiser levels")
        lines.append("")
        lines.append("One thread, a static scene with sigma-6 noise on luma and chroma, so "
                     "most of the frame takes the static path. ms: median wall ms per frame "
                     "of Draw alone; hqdn3d's are its user CPU ms over the camera frames of "
                     "the tables above, as there.")
        lines.append("")
        lines.extend(table("denoiser", ["ms", "CPU ms", "fps"], rows))
        weak = get("BM_DenoiserDraw", 1280, 720)
        hq = peers.get(("hqdn3d", 1280, 720))
        text = ("- Level 2 at 1280x720: %.2f CPU ms a frame for luma and chroma together "
                "(target at most 1 ms): %s." % (
                    strong["cpu"], "met" if strong["cpu"] <= 1.0 else "**missed**"))
        if weak:
            text += " Level 0 takes %.2f CPU ms for luma alone." % weak["cpu"]
        if hq and strong["cpu"] > 0:
            text += " hqdn3d takes %.1fx level 2's time." % (hq["cpu"] / strong["cpu"])
        lines.append(text)
        lines.append("- Quality (PSNR against the clean clip, moving and static pixels, both "
                     "levels beside hqdn3d and atadenoise) is in [the denoiser's page]"
                     "(denoiser.md), from `bench/denoise_quality.sh`; this run does not "
                     "repeat it.")
        lines.append("")
    return lines


def element_section(get):
    sizes = [(640, 480), (1280, 720)]
    direct = {s: get("BM_ProcessFrame", s[0], s[1], program="gstreamer") for s in sizes}
    if not any(direct.values()):
        return []
    rows = []
    for text, name in [("processFrame directly", "BM_ProcessFrame"),
                       ("through the element, tightly packed buffer", "BM_ElementInPlace"),
                       ("through the element, padded strides", "BM_ElementPadded")]:
        cells = {}
        for s in sizes:
            r = get(name, s[0], s[1], program="gstreamer")
            d = direct[s]
            extra = r["cpu"] - d["cpu"] if r and d else None
            cells[s] = [fmt(r and r["wall"]), fmt(r and r["cpu"]),
                        ("%+.2f" % extra) if extra is not None and name != "BM_ProcessFrame"
                        else "–",
                        ("%+.1f %%" % (100 * extra / d["cpu"])) if extra is not None and
                        d["cpu"] > 0 and name != "BM_ProcessFrame" else "–"]
        rows.append((text, cells))
    lines = ["## GStreamer element overhead", ""]
    lines.append("The kelvoenhance element with colour enhancement and beauty on the same I420 "
                 "frames as processFrame called directly, both on the backend \"auto\" picks (the "
                 "CPU here, where GL is llvmpipe). ms: median wall ms per "
                 "buffer; CPU ms: CPU time of the whole process, on which the iteration count "
                 "is based; + CPU ms: the element's CPU time over the direct call's. Per-buffer "
                 "differences of a few per cent are within the noise of a shared machine.")
    lines.append("")
    lines.extend(table("path", ["ms", "CPU ms", "+ CPU ms", "+ %"], rows, sizes))
    if any(c[2].startswith("-") for _, cells in rows for c in cells.values()):
        lines.append("A negative figure is noise, not a saving: the element makes the same "
                     "engine call and more. In this run the load hid the element's cost; "
                     "what it adds is smaller than the spread between its rows.")
        lines.append("")
    # What padding costs is lost in the engine's milliseconds; the element's
    # own path alone (effects selected but disabled) shows it.
    path = []
    for text, name in [("tightly packed buffer", "BM_ElementPathInPlace"),
                       ("padded strides, planes where they lie", "BM_ElementPathPadded")]:
        cells = {}
        for s in sizes:
            r = get(name, s[0], s[1], program="gstreamer")
            cells[s] = [fmt(r and r["wall"], 4), fmt(r and r["cpu"], 4)]
        path.append((text, cells))
    if any(c[0] != "–" for _, cells in path for c in cells.values()):
        lines.append("The element's own path alone: both effects selected but disabled by "
                     "`params`, so that the engine hands each buffer straight back. The element "
                     "gives the engine each plane's pointer and stride, so padded rows are "
                     "not copied (target: under 0.01 ms a buffer).")
        lines.append("")
        lines.extend(table("element's own path", ["ms", "CPU ms"], path, sizes))
    return lines


def obs_section(get):
    """The OBS async filter's frame adapter, from obs/bench (built with libobs)."""
    sizes = [(1280, 720), (1920, 1080)]
    formats = [("I420", "I420, OBS's layout: processed in place"),
               ("NV12", "NV12, OBS's layout: processed in place"),
               ("YUY2", "YUY2: libyuv to I422 and back"),
               ("I420_padded", "I420 with padded rows: processed in place"),
               ("BGRA", "BGRA: processed in place as the library's ARGB"),
               ("BGRA_padded", "BGRA with padded rows: processed in place"),
               ("RGBA", "RGBA: processed in place, red and blue swapped inside the call")]

    def small(v):
        return "< 0.001" if v is not None and v < 0.001 else fmt(v, 3)

    rows = []
    for key, text in formats:
        cells = {}
        for w, h in sizes:
            r = get("BM_AdapterOverhead/" + key, w, h, program="obs")
            cells[(w, h)] = [small(r and r["wall"]), small(r and r["cpu"])]
        rows.append((text, cells))
    if all(c[0] == "–" for _, cells in rows for c in cells.values()):
        return []
    lines = ["## OBS filter overhead", ""]
    lines.append("What the OBS async filter (`kelvo_enhance_filter`) adds to `processFrame` per "
                 "frame: the frame adapter's way in and back for frames in OBS's own layout "
                 "(`obs/bench`). ms: median wall ms per frame; CPU ms: CPU time.")
    lines.append("")
    lines.extend(table("frames", ["ms", "CPU ms"], rows, sizes))
    scale = [get("BM_ProcessFrameCpuI420", w, h, program="obs") for w, h in sizes]
    if all(scale):
        lines.append(
            "For scale, `processFrame` itself on the CPU backend (the filter's default) with the "
            "four effects, I420, after 64 warm-up frames: %s ms wall at 1280x720 and %s ms at "
            "1920x1080 in the same run. That is more than OBS's graphics thread can spare per "
            "frame, so the filter processes on a worker thread: the graphics thread only hands "
            "a frame over and takes the previous one back (a mutex and no copy), and the "
            "output runs one frame behind the camera. When processing takes longer than the "
            "frame interval, frames that arrive while the worker is busy replace each other, "
            "so the enhanced picture drops frames instead of falling further behind or "
            "stalling OBS." % (fmt(scale[0]["wall"]), fmt(scale[1]["wall"])))
        lines.append("")
    return lines


# The GL path's processFrame benchmarks; every other BM_ProcessFrame* of the
# bench/ programs is taken for processFrame on the CPU backend.
GL_PROCESS_FRAME = {"BM_ProcessFrameAllEffects", "BM_ProcessFrameBeauty"}


def cpu_backend_section(entries, get, shown, peers):
    """processFrame on the CPU backend, beside the GL path and ffmpeg's chain.
    Renders only when such a benchmark ran: any BM_ProcessFrame* other than
    the GL ones, one row per name, label and arguments past width and height
    (threads, engines, ...)."""
    groups = {}
    for i, e in enumerate(entries):
        if (e["name"].startswith("BM_ProcessFrame") and e["name"] not in GL_PROCESS_FRAME
                and e["program"] not in ("gstreamer", "obs")):
            key = (e["name"], e["label"], tuple(sorted(e["args"].items())))
            groups.setdefault(key, {})[(e["w"], e["h"])] = e
            shown.add(i)
    if not groups:
        return []
    rows = []
    for (name, label, args), found in sorted(groups.items()):
        text = name[len("BM_"):] if name.startswith("BM_") else name
        text += "".join(" %s %d" % (k, v) if not k.isdigit() else " %d" % v for k, v in args)
        if label:
            text += " (%s)" % label
        cells = {}
        for w, h in SIZES:
            r = found.get((w, h))
            gl = get("BM_ProcessFrameAllEffects", w, h)
            chain = peers.get(("chain", w, h))
            cells[(w, h)] = times(r) + [ratio(gl and gl["wall"], r and r["wall"]),
                                        ratio(chain and chain["cpu"], r and r["cpu"])]
        rows.append((text, cells))
    lines = ["## processFrame on the CPU backend", ""]
    lines.append("ms, CPU ms, fps as above. × GL: the GL path's processFrame with all four "
                 "effects (wall) over this row's wall time. × ffmpeg: ffmpeg's chain "
                 "(hqdn3d, eq, vibrance, bilateral, one thread, user CPU) over this row's CPU "
                 "time, so rows on several threads are not flattered.")
    lines.append("")
    lines.extend(table("benchmark", ["ms", "CPU ms", "fps", "× GL", "× ffmpeg"], rows))
    lines.extend(cpu_backend_targets(get, peers))
    return lines


def cpu_backend_targets(get, peers):
    """The CPU backend's targets, each with its verdict, from the rows above."""
    def verdict(ok):
        return "met" if ok else "**missed**"

    lines = []
    one = get("BM_ProcessFrameAllEffectsCpu", 1280, 720, **{"0": 1})
    gl = get("BM_ProcessFrameAllEffects", 1280, 720)
    chain = peers.get(("chain", 1280, 720))
    if one:
        lines.append("- 1280x720, all four effects, one thread: %.1f ms (target at most 10 ms): "
                     "%s." % (one["wall"], verdict(one["wall"] <= 10)))
        if chain:
            x = chain["cpu"] / one["cpu"]
            lines.append("  ffmpeg's chain takes %.2fx its CPU time (for scale: the 2x target is "
                         "the whole tool's, below)." % x)
        if gl:
            x = gl["wall"] / one["wall"]
            lines.append("  The GL path on llvmpipe takes %.2fx its time (target at least 4x): "
                         "%s." % (x, verdict(x >= 4)))
    one1080 = get("BM_ProcessFrameAllEffectsCpu", 1920, 1080, **{"0": 1})
    if one1080:
        lines.append("- 1920x1080, one thread: %.1f ms (target at most 23 ms): %s."
                     % (one1080["wall"], verdict(one1080["wall"] <= 23)))
    two = get("BM_ProcessFrameAllEffectsCpu", 1920, 1080, **{"0": 2})
    if two:
        fps = 1000.0 / two["wall"]
        lines.append("- 1920x1080 on two threads: %.1f fps (target at least 60): %s."
                     % (fps, verdict(fps >= 60)))
    engines = {n: get("BM_CpuEnginesInParallel", 1280, 720, threads=n) for n in (1, 2, 4)}
    if engines[1] and engines[2]:
        x = engines[1]["wall"] / engines[2]["wall"]
        lines.append("- Two engines on two threads: %.2fx the frames of one (target at least "
                     "1.7x): %s. Frames/s at 1280x720 for %s engines: %s." % (
                         x, verdict(x >= 1.7),
                         " / ".join(str(n) for n, e in engines.items() if e),
                         " / ".join("%.1f" % (1000.0 / e["wall"]) for e in engines.values() if e)))
    return ["Targets of the CPU backend:", ""] + lines + [""] if lines else []


def first_frames_section(get):
    """A fresh CPU-backend engine's first 64 frames beside its steady state."""
    rows = []
    verdicts = []
    for threads in (1, 2):
        cells = {}
        for w, h in SIZES:
            first = get("BM_ProcessFrameAllEffectsCpuFirst64", w, h, **{"0": threads})
            steady = get("BM_ProcessFrameAllEffectsCpu", w, h, **{"0": threads})
            wall = cpu = None
            if first and steady and steady["wall"] and steady["cpu"]:
                wall = first["wall"] / steady["wall"]
                cpu = first["cpu"] / steady["cpu"]
                verdicts.append((cpu, wall, "%dx%d on %d thread%s" % (
                    w, h, threads, "s" if threads > 1 else "")))
            cells[(w, h)] = [fmt(first and first["wall"]), fmt(steady and steady["wall"]),
                             ("%.2f" % wall) if wall else "–", ("%.2f" % cpu) if cpu else "–",
                             fmt(first and first["counters"].get("first_frame_ms"))]
        rows.append(("%d thread%s" % (threads, "s" if threads > 1 else ""), cells))
    if not verdicts:
        return []
    lines = ["## The first 64 frames", ""]
    lines.append("All four effects on the CPU backend, as in the table above. First 64: "
                 "median wall ms a frame over a fresh engine's frames 1 to 64, the first "
                 "frame's chain building included, one engine per repetition; steady: the "
                 "same engine settings after 64 frames; × wall and × CPU: first 64 over "
                 "steady in wall and in CPU time; frame 1: the first frame alone, wall ms. "
                 "The colour cube learns over the first frames which of the scene's cells "
                 "need exact results.")
    lines.append("")
    lines.extend(table("threads", ["first 64 ms", "steady ms", "× wall", "× CPU", "frame 1 ms"],
                       rows))
    worst = max(verdicts)
    lines.append("- Frames 1 to 64 on average at most 1.5x the steady state, in CPU time (the "
                 "work, which the machine's load does not inflate as much as wall time): %s "
                 "(worst %.2fx, %s; %.2fx there in wall time)." % (
                     "met" if worst[0] <= 1.5 else "**missed**", worst[0], worst[2], worst[1]))
    lines.append("")
    return lines


def memory_section(get):
    """Resident memory per engine, from BM_EngineMemory."""
    configs = [("CPU backend, 1 thread", "cpu1"), ("CPU backend, 2 threads", "cpu2"),
               ("GL path (llvmpipe)", "gpu")]
    found = [(text, get("BM_EngineMemory/" + name, 1280, 720)) for text, name in configs]
    found = [(text, r) for text, r in found if r]
    if not found:
        return []
    lines = ["## Memory per engine", ""]
    lines.append("Resident memory (RSS) that each of three engines adds at 1280x720, all four "
                 "effects, made one after another in one process and each run for 8 frames; "
                 "freed heap is given back to the system (malloc_trim) before each reading, "
                 "so what counts is what the engines hold. The first engine's share includes "
                 "what all engines share (code pages first touched, tables, the GL driver's "
                 "own state). Median MB over the repetitions.")
    lines.append("")
    lines.append("| engine | first MB | second MB | third MB |")
    lines.append("|---|--:|--:|--:|")
    for text, r in found:
        c = r["counters"]
        lines.append("| %s | %s | %s | %s |" % (
            text, fmt(c.get("first_mb"), 1), fmt(c.get("second_mb"), 1),
            fmt(c.get("third_mb"), 1)))
    lines.append("")
    extra = [max(r["counters"].get("second_mb", 0), r["counters"].get("third_mb", 0))
             for text, r in found if text.startswith("CPU")]
    if extra:
        lines.append("- Each additional CPU-backend engine at 1280x720 at most 24 MB: %s "
                     "(largest %.1f MB)." % ("met" if max(extra) <= 24 else "**missed**",
                                             max(extra)))
        lines.append("")
    return lines


def tool_section(tool_runs):
    """kelvo-enhance and ffmpeg as whole processes, from tool.tsv."""
    ffmpeg = tool_runs.get("ffmpeg")
    one = tool_runs.get("threads1")
    two = tool_runs.get("threads2")
    if not (ffmpeg and one):
        return []
    lines = ["## The whole tool against ffmpeg", ""]
    lines.append("Whole processes on one clip (%s, testsrc2 with temporal noise, Y4M from "
                 "a file, Y4M written to /dev/null), %d runs each in turns: `kelvo-enhance --backend "
                 "cpu` with all four effects in manual modes, and ffmpeg's chain `hqdn3d,eq,"
                 "format=gbrp,vibrance,format=yuv420p,bilateral` with `-threads 1 "
                 "-filter_threads 1`. kelvo-enhance reads the next frame and writes the last "
                 "on threads of its own, so they overlap the processing even with one engine "
                 "thread. Median ms a frame: wall, and CPU (user + system) of the process; "
                 "from `bench/tool_vs_ffmpeg.sh`." % (ffmpeg["clip"], ffmpeg["runs"]))
    lines.append("")
    lines.append("| process | wall ms a frame | CPU ms a frame | fps | ffmpeg ÷ this (wall) "
                 "| ffmpeg ÷ this (CPU) |")
    lines.append("|---|--:|--:|--:|--:|--:|")
    for text, r in [("ffmpeg chain, one thread", ffmpeg),
                    ("kelvo-enhance --threads 1", one), ("kelvo-enhance --threads 2", two)]:
        if not r:
            continue
        lines.append("| %s | %s | %s | %s | %s | %s |" % (
            text, fmt(r["wall"]), fmt(r["cpu"]), fmt(1000.0 / r["wall"], 1),
            ratio(ffmpeg["wall"], r["wall"]), ratio(ffmpeg["cpu"], r["cpu"])))
    lines.append("")
    x = ffmpeg["wall"] / one["wall"]
    lines.append("- `--threads 1` at least 2x ffmpeg's chain on one thread (wall): %s (%.2fx; "
                 "%.2fx in CPU time)." % ("met" if x >= 2 else "**missed**", x,
                                          ffmpeg["cpu"] / one["cpu"]))
    if two:
        x = one["wall"] / two["wall"]
        lines.append("- `--threads 2` at least 1.6x `--threads 1` (wall): %s (%.2fx)." % (
            "met" if x >= 1.6 else "**missed**", x))
    lines.append("")
    return lines


def other_section(entries, shown):
    """Whatever ran but has no place above, so that no measurement is lost."""
    groups = {}
    for i, e in enumerate(entries):
        if i in shown:
            continue
        key = (e["program"], e["name"], e["label"], tuple(sorted(e["args"].items())))
        groups.setdefault(key, {})[(e["w"], e["h"])] = e
    if not groups:
        return []
    rows = []
    for (program, name, label, args), found in sorted(groups.items()):
        text = "%s: %s" % (program, name)
        text += "".join(" %s %d" % (k, v) if not k.isdigit() else " %d" % v for k, v in args)
        if label:
            text += " (%s)" % label
        rows.append((text, {s: times(found.get(s)) for s in SIZES}))
    lines = ["## Other benchmarks", ""]
    lines.append("Measured in the same run; ms, CPU ms, fps as above.")
    lines.append("")
    lines.extend(table("benchmark", ["ms", "CPU ms", "fps"], rows))
    return lines


def main():
    out_dir, page, command, load_before, load_after, frames, reps = sys.argv[1:8]
    entries = load_medians(out_dir)
    peers = load_peers(out_dir)
    shown = set()  # indices of the entries that made it onto the page

    def get(name, w, h, label="", program=None, **args):
        """The first median matching; args narrows on arguments past w, h."""
        for i, e in enumerate(entries):
            if (e["name"] == name and e["w"] == w and e["h"] == h and e["label"] == label
                    and (program is None or e["program"] == program)
                    and all(e["args"].get(k) == v for k, v in args.items())):
                shown.add(i)
                return e
        return None

    def floor(parts, w, h):
        total = 0.0
        for name, count in parts.items():
            r = get(name, w, h)
            if r is None:
                return None
            total += count * r["wall"]
        return total

    rows = []  # (stage, {size: (result, floor ms or None)})

    def add(stage, name, label="", floor_parts=None):
        cells = {}
        for w, h in SIZES:
            r = get(name, w, h, label)
            f = floor(floor_parts, w, h) if floor_parts else None
            cells[(w, h)] = (r, f)
        rows.append((stage, cells))

    add("GL floor: one trivial full-screen pass (one texture fetch)", "BM_FloorPass")
    add("GL floor: I420 upload, 3 GL_RED planes", "BM_FloorUploadI420")
    add("GL floor: RGBA readback", "BM_FloorReadbackRGBA")
    add("YUV upload + RGB pass", "BM_YUVUploadToRGB", floor_parts=UPLOAD_PASS)
    add("Low-light enhancement (1 pass)", "BM_LowlightEnhanceDraw", floor_parts=PASS)
    add("Colour enhancement (1 pass)", "BM_ColorEnhanceDraw", floor_parts=PASS)
    add("Beauty (4 half-size passes + mix)", "BM_BeautyDraw", floor_parts=PASS)
    add("Readback + I420 conversion", "BM_ReadbackToI420", floor_parts=READBACK)
    add("Brightness detection (detector)", "BM_BrightnessDetection")
    add("Detection step (I420 write-back + detector)", "BM_DetectionStep")
    add("Video denoiser (1 thread)", "BM_DenoiserDraw")
    add("**processFrame, all four effects, I420**", "BM_ProcessFrameAllEffects",
        floor_parts=FRAME)
    add("processFrame, beauty alone, I420", "BM_ProcessFrameBeauty")
    for i, name in enumerate(FORMATS):
        add("Caller buffer → frame, %s" % name, "BM_BufferToFrame", label=name)
    for i, name in enumerate(FORMATS):
        add("Frame → caller buffer, %s" % name, "BM_FrameToBuffer", label=name)
    add("libyuv I420ToABGR (reference)", "BM_LibyuvI420ToABGR")
    add("libyuv ABGRToI420 (reference)", "BM_LibyuvABGRToI420")
    for peer, text in [("hqdn3d", "ffmpeg hqdn3d (denoise)"),
                       ("vibrance", "ffmpeg vibrance (colour), RGB conversion excluded"),
                       ("bilateral", "ffmpeg bilateral (smoothing), sigmaS 3, all planes"),
                       ("chain", "ffmpeg chain hqdn3d, eq, vibrance, bilateral (peer of "
                                 "processFrame), conversions included")]:
        cells = {}
        for w, h in SIZES:
            cells[(w, h)] = (peers.get((peer, w, h)), None)
        rows.append((text, cells))

    lines = []
    lines.append("# Performance")
    lines.append("")
    lines.append("Regenerate with:")
    lines.append("")
    lines.append("    %s" % command)
    lines.append("")
    cores = os.cpu_count() or 0
    lines.append("Machine: %d cores, Mesa llvmpipe (no GPU), load average %s before and %s after "
                 "the run (1, 5, 15 minutes)." % (cores, load_before, load_after))
    try:
        # The run itself keeps up to two cores busy, which the load after it
        # counts; only more than that says someone else was running.
        busy = float(load_before.split()[0]) > 0.5 or float(load_after.split()[0]) > 2.5
    except (ValueError, IndexError):
        busy = True
    if busy:
        lines.append("")
        lines.append("**The machine was shared with other work during the run, so every figure "
                     "below is inflated:** wall times most, as a benchmark waits for a core, "
                     "and CPU times too, as caches and memory bandwidth are shared. The "
                     "2-thread figures suffer most. Compare rows of one run with each other, "
                     "not with another run's.")
    lines.append("")
    lines.append("ms: median wall milliseconds per frame over %s repetitions (Google Benchmark, "
                 "Release). CPU ms: CPU time of the whole process, including the GL driver's "
                 "threads; steadier than wall time on a busy machine. fps: frames per second "
                 "of wall time. × floor: wall time over the GL floor the stage cannot go "
                 "below (a pass: one trivial pass; the upload: upload + pass; the readback: "
                 "readback; processFrame: upload + 5 passes + readback). Every GPU stage ends "
                 "in a readback or glFinish, so queued work is counted. ffmpeg rows: one "
                 "thread, user CPU ms per frame over %s frames of the same camera frames that "
                 "processFrame is timed on, minus the null filter's." % (reps, frames))
    lines.append("")
    header = "| stage |"
    rule = "|---|"
    for w, h in SIZES:
        header += " %dx%d ms | CPU ms | fps | × floor |" % (w, h)
        rule += "--:|--:|--:|--:|"
    lines.append(header)
    lines.append(rule)
    for stage, cells in rows:
        line = "| %s |" % stage
        for size in SIZES:
            r, f = cells[size]
            if r is None:
                line += " – | – | – | – |"
                continue
            multiple = r["wall"] / f if f else None
            line += " %s | %s | %s | %s |" % (
                fmt(r["wall"]), fmt(r["cpu"]), fmt(r["fps"], 1),
                ("%.1f" % multiple) if multiple else "–")
        lines.append(line)
    lines.append("")

    lines.append("## Targets")
    lines.append("")

    def verdict(ok):
        return "met" if ok else "**missed**"

    ours = get("BM_DenoiserDraw", 1280, 720)
    hq = peers.get(("hqdn3d", 1280, 720))
    if ours and hq and ours["cpu"] > 0:
        ratio = hq["cpu"] / ours["cpu"]
        lines.append("- Denoiser at 1280x720, one thread: %.2f CPU ms against hqdn3d's %.2f, "
                     "%.2fx as fast (target 2x): %s. Ours filters luma, on a still scene with "
                     "sigma-6 noise; hqdn3d with its defaults filters all three planes." % (
                         ours["cpu"], hq["cpu"], ratio, verdict(ratio >= 2.0)))

    for w, h, target in [(640, 480, 30), (1280, 720, 20), (1920, 1080, None)]:
        pf = get("BM_ProcessFrameAllEffects", w, h)
        if not pf:
            continue
        parts = {
            "caller buffer → frame": get("BM_BufferToFrame", w, h, "I420"),
            "detection step": get("BM_DetectionStep", w, h),
            "denoiser": get("BM_DenoiserDraw", w, h),
            "frame → caller buffer": get("BM_FrameToBuffer", w, h, "I420"),
        }
        readback = get("BM_ReadbackToI420", w, h)
        floor_readback = get("BM_FloorReadbackRGBA", w, h)
        cpu_side = sum(p["cpu"] for p in parts.values() if p)
        convert = None
        if readback and floor_readback:
            convert = max(0.0, readback["cpu"] - floor_readback["cpu"])
            cpu_side += convert
        share = cpu_side / pf["cpu"] if pf["cpu"] > 0 else 0.0
        share_wall = cpu_side / pf["wall"] if pf["wall"] > 0 else 0.0
        text = "- processFrame at %dx%d: %.1f ms, %.1f fps" % (w, h, pf["wall"], pf["fps"] or 0)
        if target:
            text += " (target %d fps): %s" % (target, verdict((pf["fps"] or 0) >= target))
        text += (". CPU side (conversions in and out, detection, denoiser, readback's I420 "
                 "conversion%s) %.2f CPU ms = %.1f %% of the frame's %.1f CPU ms, %.1f %% of "
                 "its wall time (target at most 10 %%): %s." % (
                     " %.2f ms, estimated as readback stage minus readback floor" % convert
                     if convert is not None else "", cpu_side, 100 * share, pf["cpu"],
                     100 * share_wall, verdict(share <= 0.10)))
        lines.append(text)
        stages = [("YUV upload + RGB", "BM_YUVUploadToRGB", UPLOAD_PASS),
                  ("low light", "BM_LowlightEnhanceDraw", PASS),
                  ("colour", "BM_ColorEnhanceDraw", PASS),
                  ("beauty", "BM_BeautyDraw", PASS),
                  ("readback + I420", "BM_ReadbackToI420", READBACK)]
        pieces = []
        for label, name, parts_floor in stages:
            r = get(name, w, h)
            f = floor(parts_floor, w, h)
            if r:
                pieces.append("%s %.1f ms (%s × floor)" % (
                    label, r["wall"], ("%.1f" % (r["wall"] / f)) if f else "–"))
        frame_floor = floor(FRAME, w, h)
        lines.append("  Stages alone: %s; CPU side %.1f ms. Floor of the whole frame %s ms." % (
            ", ".join(pieces), cpu_side, fmt(frame_floor)))
    lines.append("")
    lines.append("A missed frame-rate target is the GPU side: the stages above run as "
                 "fragment shaders on llvmpipe's CPU rasteriser, and beauty alone (five "
                 "passes, the mix with two table lookups per pixel) costs more than the "
                 "floor of the whole frame. The CPU side is far inside its share.")
    lines.append("")

    lines.extend(cpu_sections(get, peers))
    lines.extend(element_section(get))
    lines.extend(obs_section(get))
    lines.extend(cpu_backend_section(entries, get, shown, peers))
    lines.extend(first_frames_section(get))
    lines.extend(memory_section(get))
    lines.extend(tool_section(load_tool_runs(out_dir)))
    lines.extend(other_section(entries, shown))

    os.makedirs(os.path.dirname(page), exist_ok=True)
    with open(page, "w") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
