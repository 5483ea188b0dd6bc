"""The kelvo module on numpy frames: layouts, errors, threads, memory, and the
same pictures as kelvo-enhance."""
import json
import os
import pathlib
import subprocess
import sys
import threading

import numpy as np
import pytest

import kelvo

W, H = 64, 48
PAD = 0xA5  # bytes around a view that processing must leave alone


def picture(w=W, h=H, seed=1):
    """A skin-toned gradient with noise, planes Y, U, V of 4:2:0."""
    rng = np.random.default_rng(seed)
    x = np.linspace(0, 1, w)[None, :]
    yy = np.linspace(0, 1, h)[:, None]
    y = 90 + 70 * x * yy + rng.normal(0, 6, (h, w))
    u = np.full((h // 2, w // 2), 108.0) + rng.normal(0, 3, (h // 2, w // 2))
    v = np.full((h // 2, w // 2), 156.0) + rng.normal(0, 3, (h // 2, w // 2))
    return tuple(np.clip(p, 0, 255).astype(np.uint8) for p in (y, u, v))


def bgra_picture(w=W, h=H, seed=2):
    rng = np.random.default_rng(seed)
    base = np.array([120, 150, 205], float)  # B, G, R of skin
    bgr = base + 30 * np.linspace(-1, 1, w)[None, :, None] + rng.normal(0, 6, (h, w, 3))
    out = np.empty((h, w, 4), np.uint8)
    out[..., :3] = np.clip(bgr, 0, 255)
    out[..., 3] = np.arange(w, dtype=np.uint8)[None, :]  # alpha is passed through
    return out


def engine(**settings):
    e = kelvo.Engine("cpu", 1)
    e.set_effects(["denoise", "color", "beauty"])
    # The denoiser filters every frame, whatever the clock says.
    e.set_parameter("video_denoiser_option", {"mode": 1})
    for key, document in settings.items():
        e.set_parameter(key, document)
    return e


def run(frame, fmt, **kwargs):
    with engine() as e:
        return e.process(frame, fmt, **kwargs)


def padded(plane, left=1, right=7):
    """`plane` as a view into a wider array whose other bytes are PAD."""
    shape = (plane.shape[0], plane.shape[1] + left + right) + plane.shape[2:]
    big = np.full(shape, PAD, np.uint8)
    view = big[:, left:left + plane.shape[1]]
    view[...] = plane
    return view, big


def padding_intact(view):
    """True unless `view` is one of padded()'s and a byte around it changed."""
    big = view.base
    if big is None or big.ndim != view.ndim or big.shape[1] != view.shape[1] + 8:
        return True
    return bool((big[:, 0] == PAD).all() and (big[:, 1 + view.shape[1]:] == PAD).all())


def single_i420(y, u, v):
    return np.concatenate([y.ravel(), u.ravel(), v.ravel()]).reshape(-1, y.shape[1])


def interleave(a, b):
    return np.stack([a, b], axis=-1).reshape(a.shape[0], -1)


# Each layout: frame from the Y, U, V planes -> (format, frame, a function
# giving Y, U, V back from the processed frame). Every one describes the same
# picture, so every one must give the reference's pixels.
def split_single(f, swap=False):
    y, rest = f[:H], f[H:].ravel()
    a, b = rest[: rest.size // 2].reshape(H // 2, W // 2), rest[rest.size // 2:].reshape(H // 2, W // 2)
    return (y, b, a) if swap else (y, a, b)


def split_nv(f, swap=False):
    y, uv = (f[0], f[1].reshape(H // 2, -1)) if isinstance(f, tuple) else (f[:H], f[H:])
    a, b = uv[:, 0::2], uv[:, 1::2]
    return (y, b, a) if swap else (y, a, b)


def padded_planes(planes):
    return tuple(padded(p)[0] for p in planes)


YUV_LAYOUTS = {
    "I420 one array": lambda y, u, v: ("I420", single_i420(y, u, v), split_single),
    "I420 planes": lambda y, u, v: ("I420", (y.copy(), u.copy(), v.copy()), lambda f: f),
    "I420 padded planes": lambda y, u, v: ("I420", padded_planes((y, u, v)), lambda f: f),
    "YV12 one array": lambda y, u, v: ("YV12", single_i420(y, v, u),
                                       lambda f: split_single(f, swap=True)),
    "YV12 padded planes": lambda y, u, v: ("YV12", padded_planes((y, v, u)),
                                           lambda f: (f[0], f[2], f[1])),
    "NV12 one array": lambda y, u, v: ("NV12", np.vstack([y, interleave(u, v)]), split_nv),
    "NV12 padded one array": lambda y, u, v: ("NV12", padded(np.vstack([y, interleave(u, v)]))[0],
                                              split_nv),
    "NV12 planes, chroma as pairs": lambda y, u, v: ("NV12", (y.copy(), np.stack([u, v], -1)),
                                                     split_nv),
    "NV21 padded planes": lambda y, u, v: ("NV21", padded_planes((y, interleave(v, u))),
                                           lambda f: split_nv(f, swap=True)),
}


@pytest.mark.parametrize("layout", YUV_LAYOUTS)
def test_yuv_layouts_give_the_same_pixels(layout):
    y, u, v = picture()
    reference = run((y.copy(), u.copy(), v.copy()), "I420")
    assert not np.array_equal(reference[0], y)  # the effects did something
    fmt, frame, back = YUV_LAYOUTS[layout](y, u, v)
    result = run(frame, fmt)
    assert result is frame
    for got, want in zip(back(result), reference):
        np.testing.assert_array_equal(got, want)
    assert all(padding_intact(p) for p in (frame if isinstance(frame, tuple) else (frame,)))


def test_i422_planes_match_its_one_array_form():
    y, _, _ = picture()
    rng = np.random.default_rng(3)
    u, v = (rng.integers(100, 160, (H, W // 2), dtype=np.uint8) for _ in range(2))
    whole = run(np.concatenate([y.ravel(), u.ravel(), v.ravel()]).reshape(-1, W), "I422")
    planes = run(padded_planes((y, u, v)), "I422")
    np.testing.assert_array_equal(whole[:H], planes[0])
    np.testing.assert_array_equal(whole[H:].ravel()[: u.size].reshape(H, W // 2), planes[1])


# Packed layouts from B, G, R, A bytes, the order to read them back, and the
# largest difference from B, G, R, A allowed.
PACKED = {
    "BGRA": (lambda p: p, lambda f: f, 0),
    "RGBA": (lambda p: p[..., [2, 1, 0, 3]], lambda f: f[..., [2, 1, 0, 3]], 0),
    "ARGB": (lambda p: p[..., [3, 2, 1, 0]], lambda f: f[..., [3, 2, 1, 0]], 0),
    # Converted by libyuv's fixed BT.601 limited-range rows, which round
    # otherwise; a wrong byte order would be off by the skin's R - B (85).
    "ABGR": (lambda p: p[..., [3, 0, 1, 2]], lambda f: f[..., [1, 2, 3, 0]], 8),
    "BGR": (lambda p: p[..., :3], lambda f: f, 0),
    "RGB": (lambda p: p[..., [2, 1, 0]], lambda f: f[..., [2, 1, 0]], 0),
}


@pytest.mark.parametrize("fmt", PACKED)
@pytest.mark.parametrize("view", ["tight", "padded"])
def test_packed_formats_are_named_by_byte_order(fmt, view):
    source = bgra_picture()
    reference = run(source.copy(), "BGRA")
    assert not np.array_equal(reference[..., :3], source[..., :3])
    to, back, tolerance = PACKED[fmt]
    frame = np.ascontiguousarray(to(source))
    if view == "padded":
        frame = padded(frame)[0]
    got = back(run(frame, fmt))
    difference = np.abs(got[..., :3].astype(int) - reference[..., :3])
    assert difference.max() <= tolerance
    if got.shape[-1] == 4:
        np.testing.assert_array_equal(got[..., 3], source[..., 3])  # alpha untouched
    assert padding_intact(frame)


@pytest.mark.parametrize("fmt, frame", [
    ("I420", single_i420(*picture())),
    ("BGR", bgra_picture()[..., :3].copy()),
    ("NV12", (picture()[0].copy(), interleave(*picture()[1:]))),
])
def test_out_and_copy_leave_the_frame_alone(fmt, frame):
    planes = lambda f: f if isinstance(f, tuple) else (f,)  # noqa: E731
    before = [p.copy() for p in planes(frame)]
    copies = tuple(p.copy() for p in before)
    in_place = planes(run(copies if isinstance(frame, tuple) else copies[0], fmt))
    out = tuple(np.zeros_like(p) for p in planes(frame))
    for result in (run(frame, fmt, out=out if isinstance(frame, tuple) else out[0]),
                   run(frame, fmt, copy=True)):
        for got, want in zip(planes(result), in_place):
            np.testing.assert_array_equal(got, want)
    for p, b in zip(planes(frame), before):
        np.testing.assert_array_equal(p, b)


@pytest.mark.parametrize("fmt, frame", [("I420", single_i420(*picture())),
                                         ("BGR", bgra_picture()[..., :3].copy())])
def test_nothing_enabled_passes_the_frame_on(fmt, frame):
    with kelvo.Engine("cpu", 1) as e:
        e.set_effects(["beauty"])
        e.set_parameter("beauty_effect_option", {"enable": 0})
        np.testing.assert_array_equal(e.process(frame, fmt, out=np.zeros_like(frame)), frame)
        np.testing.assert_array_equal(e.process(frame.copy(), fmt), frame)


def test_matrix_and_range_by_name_or_code():
    source = bgra_picture()
    by_code = run(source.copy(), "BGRA", matrix=1, range=1)
    np.testing.assert_array_equal(run(source.copy(), "BGRA", matrix="bt709", range="full"), by_code)
    assert not np.array_equal(run(source.copy(), "BGRA", matrix="bt601", range="limited"), by_code)


ARRAY = single_i420(*picture())
READ_ONLY = ARRAY.copy()
READ_ONLY.flags.writeable = False


@pytest.mark.parametrize("frame, kwargs, error, text", [
    (ARRAY, {"format": "YUY2"}, ValueError, "unknown format 'YUY2'"),
    (ARRAY, {"matrix": "bt999"}, ValueError, "unknown matrix"),
    (ARRAY, {"matrix": 12}, ValueError, "matrix must be"),
    (ARRAY, {"range": "studio"}, ValueError, "unknown range"),
    (ARRAY, {"timestamp": float("nan")}, ValueError, "finite"),
    (ARRAY, {"timestamp": "0:01"}, TypeError, "must be real number"),
    (ARRAY.astype(np.uint16), {}, ValueError, "uint8"),
    (ARRAY[:-1], {}, ValueError, "takes one (height*3/2)"),
    (ARRAY[::-1], {}, ValueError, "negative stride"),
    (ARRAY[:, ::2], {}, ValueError, "row must be contiguous"),
    (padded(ARRAY)[0], {}, ValueError, "must be contiguous"),  # I420 chroma rows unknowable
    (READ_ONLY, {}, ValueError, "read-only"),
    ([1, 2, 3], {}, TypeError, "numpy array"),
    ((ARRAY[:H],), {}, ValueError, "takes 3 planes"),
    (picture(), {"format": "NV12"}, ValueError, "takes 2 planes"),
    ((picture()[0],) + tuple(p[:-1] for p in picture()[1:]), {}, ValueError, "plane 1 has shape"),
    (bgra_picture(), {"format": "BGR"}, ValueError, "height x width x 3"),
    (np.zeros((2, 16385, 4), np.uint8), {"format": "BGRA"}, ValueError, "1 to 16384"),
    (ARRAY, {"out": ARRAY[:H]}, ValueError, "out"),
    (ARRAY, {"out": ARRAY.copy(), "copy": True}, ValueError, "not both"),
])
def test_frames_refused(frame, kwargs, error, text):
    with engine() as e:
        with pytest.raises(error) as raised:
            e.process(frame, **kwargs)
    assert text in str(raised.value)


def test_rejected_members_raise_with_the_library_texts_and_valid_ones_apply():
    y, u, v = picture()
    with engine() as e:
        with pytest.raises(kelvo.ParameterError) as raised:
            e.set_parameter("beauty_effect_option", {"smoothness": 2, "lightness": 0.9, "glow": 1})
        assert set(raised.value.rejected) == {"smoothness", "glow"}
        assert ("beauty_effect_option.smoothness = 2 (accepted: number in [0, 1])"
                in raised.value.rejected["smoothness"])
        assert "beauty_effect_option.smoothness = 2" in str(raised.value)
        mixed = e.process((y.copy(), u.copy(), v.copy()))
    with engine(beauty_effect_option={"lightness": 0.9}) as e:
        valid_only = e.process((y.copy(), u.copy(), v.copy()))
    for a, b in zip(mixed, valid_only):
        np.testing.assert_array_equal(a, b)


@pytest.mark.parametrize("key, document, error, text", [
    ("beauty_effect_option", "{not json", ValueError, "(-7)"),
    ("sharpen_option", {"enable": 1}, kelvo.ParameterError, "sharpen_option"),
    ("beauty_effect_option", "[1]", kelvo.ParameterError, "beauty_effect_option"),
    ("beauty_effect_option", [1], TypeError, "dict or JSON text"),
])
def test_documents_refused(key, document, error, text):
    with engine() as e, pytest.raises(error) as raised:
        e.set_parameter(key, document)
    assert text in str(raised.value)


def test_effects_start_from_the_integration_defaults_unless_set():
    members = {k["key"]: {m["name"]: m for m in k["members"]} for k in kelvo.settings()["keys"]}
    level = members["video_denoiser_option"]["level"]
    assert level["integration_default"] != level["default"]  # else there is nothing to test

    def denoised(before, effects):
        """The luma of the third frame: the denoiser works across frames."""
        e = kelvo.Engine("cpu", 1)
        for key, document in before:
            e.set_parameter(key, document)
        e.set_effects(effects)
        e.set_parameter("video_denoiser_option", {"mode": 1})
        return [e.process(picture(seed=s)) for s in range(3)][-1][0]

    explicit = lambda n: [("video_denoiser_option", {"enable": 1, "level": n})]  # noqa: E731
    assert not np.array_equal(denoised(explicit(0), ["denoise"]),
                              denoised(explicit(level["integration_default"]), ["denoise"]))
    np.testing.assert_array_equal(denoised([], ["denoise"]),
                                  denoised(explicit(level["integration_default"]), ["denoise"]))
    np.testing.assert_array_equal(denoised([("video_denoiser_option", {"level": 0})], "denoise"),
                                  denoised(explicit(0), [103]))
    with pytest.raises(ValueError, match="unknown effect 'sharpen'"):
        kelvo.Engine("cpu").set_effects(["beauty", "sharpen"])


def test_engine_facts_settings_and_close():
    assert kelvo.settings()["version"] == kelvo.version
    pyproject = pathlib.Path(__file__).parents[2] / "python" / "pyproject.toml"
    assert f'version = "{kelvo.version}"' in pyproject.read_text()
    with pytest.raises(ValueError, match="unknown backend"):
        kelvo.Engine("vulkan")
    with kelvo.Engine("cpu") as e:
        assert e.info("backend") == "cpu" and e.info("version") == kelvo.version
    for call in (lambda: e.info("backend"), lambda: e.process(ARRAY.copy()),
                 lambda: e.set_effects(["beauty"])):
        with pytest.raises(ValueError, match="closed"):
            call()
    e.close()  # twice is fine


def test_the_gil_is_let_go_while_a_frame_is_processed():
    # With a switch interval this long the interpreter changes threads only
    # where one lets go of the GIL: the main thread can run while the worker
    # is still inside process() only if process() let go.
    big = single_i420(*picture(1280, 720))
    e = engine()
    entered = threading.Event()
    finished = []

    def work():
        entered.set()
        e.process(big)
        finished.append(True)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    try:
        worker = threading.Thread(target=work)
        worker.start()
        entered.wait()
        seen_finished = bool(finished)
    finally:
        sys.setswitchinterval(interval)
    worker.join()
    e.close()
    assert not seen_finished and finished


def test_close_waits_for_a_frame_in_progress():
    e = engine()
    errors, frames = [], []

    def work():
        frame = single_i420(*picture(640, 360))
        try:
            while True:
                e.process(frame)
                frames.append(1)
        except ValueError as error:
            errors.append(str(error))

    worker = threading.Thread(target=work)
    worker.start()
    while not frames:
        pass
    e.close()
    worker.join()
    assert errors == ["process: the engine is closed"]


def rss_kib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def test_ten_thousand_frames_leak_nothing():
    y, u, v = picture(32, 16)
    calls = [
        lambda e: e.process(single_i420(y, u, v)),
        lambda e: e.process((y.copy(), u.copy(), v.copy()), copy=True),
        lambda e: e.process(bgra_picture(32, 16)[..., :3].copy(), "BGR", timestamp=0.5),
        lambda e: e.process(bgra_picture(32, 16), "RGBA", out=np.empty((16, 32, 4), np.uint8)),
    ]
    with engine() as e:
        for i in range(400):
            calls[i % 4](e)
        frame = single_i420(y, u, v)
        references = sys.getrefcount(frame)
        start = rss_kib()
        for i in range(10_000):
            calls[i % 4](e)
            e.process(frame)
        assert sys.getrefcount(frame) == references
        # A leak of even the 768-byte frames would be 7 MiB. AddressSanitizer
        # holds freed blocks back (its quarantine), so there the references
        # alone tell.
        if "libasan" not in os.environ.get("LD_PRELOAD", ""):
            assert rss_kib() - start < 3 * 1024


def kelvo_enhance():
    path = os.environ.get("KELVO_ENHANCE") or str(
        pathlib.Path(kelvo.__file__).parents[2] / "tools" / "enhance" / "kelvo-enhance")
    if not os.access(path, os.X_OK):
        pytest.skip("kelvo-enhance is not built beside this module")
    return path


def test_same_frames_as_kelvo_enhance(tmp_path):
    frames = [single_i420(*picture(seed=s)) for s in range(4)]
    header = f"YUV4MPEG2 W{W} H{H} F30:1 Ip A1:1 C420jpeg\n".encode()
    (tmp_path / "in.y4m").write_bytes(header + b"".join(b"FRAME\n" + f.tobytes() for f in frames))
    settings = {"video_denoiser_option": {"mode": 1, "level": 2},
                "beauty_effect_option": {"smoothness": 0.8}, "color_enhance_option": {"strength": 0.7}}
    params = [a for k, d in settings.items() for a in ("--param", f"{k}={json.dumps(d)}")]
    subprocess.run([kelvo_enhance(), "-i", str(tmp_path / "in.y4m"), "-o", str(tmp_path / "out.y4m"),
                    "-e", "denoise,color,beauty", "--backend", "cpu", "--threads", "1",
                    "--no-progress"] + params, check=True)
    written = (tmp_path / "out.y4m").read_bytes()
    written = written[written.index(b"\n") + 1:]
    size = len(b"FRAME\n") + frames[0].size
    assert len(written) == size * len(frames)
    with kelvo.Engine("cpu", 1) as e:
        e.set_effects("denoise,color,beauty")
        for key, document in settings.items():
            e.set_parameter(key, document)
        for i, frame in enumerate(frames):
            e.process(frame, timestamp=i / 30)
            assert b"FRAME\n" + frame.tobytes() == written[i * size:(i + 1) * size], f"frame {i}"
