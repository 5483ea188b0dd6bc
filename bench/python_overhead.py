#!/usr/bin/env python3
"""What the Python module costs on top of the library, on the CPU backend.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py [--frames N]

1. One 1280x720 I420 frame in place through kelvo.Engine.process against the
   same frame through the C interface called directly (ctypes, a few
   microseconds a call), on engines with the same effects, alternating
   rounds so that load on the machine falls on both alike. Prints the median
   milliseconds of each and the module's share on top.
2. The same call on engines with no effect enabled, which return at once:
   what the module adds a call in microseconds, less sensitive to load than
   the difference of two medians of whole frames.
3. Frames a second of two engines (threads=1 each) on two Python threads
   against one such engine on one thread.

Figures depend on the machine and its load; run it on an idle one.
"""
import argparse
import ctypes
import os
import pathlib
import statistics
import threading
import time

import numpy as np

import kelvo

EFFECTS = ["denoise", "color", "beauty"]


class CFrame(ctypes.Structure):
    _fields_ = [("size", ctypes.c_size_t), ("format", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("planes", ctypes.c_void_p * 3),
                ("strides", ctypes.c_int * 3), ("color_matrix", ctypes.c_int),
                ("color_range", ctypes.c_int), ("has_timestamp", ctypes.c_int),
                ("timestamp_us", ctypes.c_int64)]


def library(path):
    if path is None:
        build = pathlib.Path(kelvo.__file__).parents[2] / "libkelvo_video_process.so"
        path = str(build) if build.exists() else "libkelvo_video_process.so.0"
    lib = ctypes.CDLL(path)
    lib.kelvo_create.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]
    lib.kelvo_set_effects_by_name.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    lib.kelvo_set_parameter.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p,
                                        ctypes.c_void_p]
    lib.kelvo_process.argtypes = [ctypes.c_void_p, ctypes.POINTER(CFrame)]
    lib.kelvo_destroy.argtypes = [ctypes.c_void_p]
    return lib


def frame(width, height, seed=0):
    rng = np.random.default_rng(seed)
    return rng.integers(60, 200, (height * 3 // 2, width), dtype=np.uint8)


def python_engine(threads):
    engine = kelvo.Engine("cpu", threads)
    engine.set_effects(EFFECTS)
    engine.set_parameter("video_denoiser_option", {"mode": 1})
    return engine


def overhead(args, lib):
    w, h = args.width, args.height
    engine = python_engine(args.threads)
    handle = ctypes.c_void_p()
    config = f'{{"backend":"cpu","threads":{args.threads}}}'.encode()
    assert lib.kelvo_create(config, ctypes.byref(handle)) == 0
    assert lib.kelvo_set_effects_by_name(handle, b"denoise,color,beauty") == 0
    # The same starting documents as the module gives its engine.
    for key, doc in (("beauty_effect_option", b'{"enable":1}'),
                     ("color_enhance_option", b'{"enable":1}'),
                     ("video_denoiser_option", b'{"enable":1,"level":2,"mode":1}')):
        lib.kelvo_set_parameter(handle, key.encode(), doc, None)
    a, b = frame(w, h, 1), frame(w, h, 2)
    c_frame = CFrame(size=ctypes.sizeof(CFrame), format=1, width=w, height=h,
                     color_matrix=4, color_range=0)
    base = b.ctypes.data
    c_frame.planes[0], c_frame.strides[0] = base, w
    c_frame.planes[1], c_frame.strides[1] = base + w * h, w // 2
    c_frame.planes[2], c_frame.strides[2] = base + w * h + (w // 2) * (h // 2), w // 2
    py_ms, c_ms = [], []
    for _ in range(args.warmup):
        engine.process(a)
        lib.kelvo_process(handle, ctypes.byref(c_frame))
    for _ in range(args.frames):
        t = time.perf_counter()
        engine.process(a)
        py_ms.append((time.perf_counter() - t) * 1e3)
        t = time.perf_counter()
        assert lib.kelvo_process(handle, ctypes.byref(c_frame)) == 0
        c_ms.append((time.perf_counter() - t) * 1e3)
    py, c = statistics.median(py_ms), statistics.median(c_ms)
    print(f"{w}x{h} I420 in place, {', '.join(EFFECTS)}, threads={args.threads}, "
          f"median of {args.frames}: kelvo.Engine.process {py:.3f} ms, "
          f"kelvo_process {c:.3f} ms, module on top {100 * (py - c) / c:+.1f} %")
    # Nothing enabled: both calls check the frame, take the engine and return.
    for key in ("beauty_effect_option", "color_enhance_option", "video_denoiser_option"):
        engine.set_parameter(key, {"enable": 0})
        lib.kelvo_set_parameter(handle, key.encode(), b'{"enable":0}', None)
    calls = 2000
    py_us, c_us = [], []
    for _ in range(5):
        t = time.perf_counter()
        for _ in range(calls):
            engine.process(a)
        py_us.append((time.perf_counter() - t) * 1e6 / calls)
        t = time.perf_counter()
        for _ in range(calls):
            lib.kelvo_process(handle, ctypes.byref(c_frame))
        c_us.append((time.perf_counter() - t) * 1e6 / calls)
    engine.close()
    lib.kelvo_destroy(handle)
    added = min(py_us) - min(c_us)
    print(f"a call that returns at once: kelvo.Engine.process {min(py_us):.1f} us, "
          f"kelvo_process through ctypes {min(c_us):.1f} us; the module adds {added:.1f} us, "
          f"{100 * added / 1e3 / c:.2f} % of the frame above")


def throughput(args, engines):
    frames = [frame(args.width, args.height, i) for i in range(engines)]
    workers = [python_engine(1) for _ in range(engines)]
    for e, f in zip(workers, frames):
        e.process(f)
    counts = [0] * engines
    stop = threading.Event()

    def run(i):
        while not stop.is_set():
            workers[i].process(frames[i])
            counts[i] += 1

    threads = [threading.Thread(target=run, args=(i,)) for i in range(engines)]
    start = time.perf_counter()
    for t in threads:
        t.start()
    time.sleep(args.seconds)
    stop.set()
    for t in threads:
        t.join()
    elapsed = time.perf_counter() - start
    for e in workers:
        e.close()
    return sum(counts) / elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--width", type=int, default=1280)
    parser.add_argument("--height", type=int, default=720)
    parser.add_argument("--frames", type=int, default=60)
    parser.add_argument("--warmup", type=int, default=5)
    parser.add_argument("--threads", type=int, default=1, help="CPU threads of each engine")
    parser.add_argument("--seconds", type=float, default=5.0, help="per throughput run")
    parser.add_argument("--library", help="libkelvo_video_process.so (default: the build's)")
    args = parser.parse_args()
    print(f"kelvo {kelvo.version}, {os.cpu_count()} cores, load {os.getloadavg()[0]:.2f}")
    overhead(args, library(args.library))
    one = throughput(args, 1)
    two = throughput(args, 2)
    print(f"{args.width}x{args.height}, engines with threads=1: one thread {one:.1f} frames/s, "
          f"two engines on two threads {two:.1f} frames/s ({two / one:.2f}x)")


if __name__ == "__main__":
    main()
