// The JavaScript package under node: formats, rejections, release, memory
// over many frames, and output equal to the native CPU backend's.
//   KELVO_WEB_PACKAGE   the package folder (default build-web/package)
//   KELVO_ENHANCE       a native kelvo-enhance for the comparison
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, writeFileSync, existsSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

const root = resolve(import.meta.dirname, "../..");
const pkg = resolve(process.env.KELVO_WEB_PACKAGE ?? join(root, "build-web/package"));
const { createKelvo } = await import(pathToFileURL(join(pkg, "dist/index.mjs")).href);
const builds = { simd: await createKelvo({ simd: true }), plain: await createKelvo({ simd: false }) };
const kelvo = builds.simd;

// A skin-toned disc on a gradient with noise, the same for every run.
function picture(width, height, seed = 1) {
  let s = seed;
  const noise = () => ((s = (s * 1103515245 + 12345) >>> 0) >>> 27) - 16;
  const rgb = new Uint8Array(width * height * 3);
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const d = Math.hypot(x - width / 2, y - height / 2) < Math.min(width, height) / 3;
      const base = d ? [205, 150, 120] : [40 + (x * 150) / width, 60 + (y * 120) / height, 90];
      for (let c = 0; c < 3; ++c) rgb[(y * width + x) * 3 + c] = Math.max(0, Math.min(255, base[c] + noise()));
    }
  }
  return rgb;
}

// The picture in a format (BT.601 limited for the YUV ones; alpha 77).
function frameBytes(format, width, height, seed) {
  const rgb = picture(width, height, seed);
  const cw = (width + 1) >> 1, ch = (height + 1) >> 1;
  const at = (x, y) => rgb.subarray((y * width + x) * 3, (y * width + x) * 3 + 3);
  const Y = ([r, g, b]) => Math.round(16 + 0.257 * r + 0.504 * g + 0.098 * b);
  const U = ([r, g, b]) => Math.round(128 - 0.148 * r - 0.291 * g + 0.439 * b);
  const V = ([r, g, b]) => Math.round(128 + 0.439 * r - 0.368 * g - 0.071 * b);
  if (format.startsWith("RGB") || format.startsWith("BGR")) {
    const out = new Uint8Array(width * height * 4);
    const order = format.startsWith("RGB") ? [0, 1, 2] : [2, 1, 0];
    for (let i = 0; i < width * height; ++i) {
      for (let c = 0; c < 3; ++c) out[i * 4 + c] = rgb[i * 3 + order[c]];
      out[i * 4 + 3] = 77;
    }
    return out;
  }
  const rows = format === "I422" ? height : ch;
  const out = new Uint8Array(width * height + 2 * cw * rows);
  for (let y = 0; y < height; ++y) for (let x = 0; x < width; ++x) out[y * width + x] = Y(at(x, y));
  for (let y = 0; y < rows; ++y) {
    for (let x = 0; x < cw; ++x) {
      const p = at(2 * x, format === "I422" ? y : 2 * y);
      if (format === "NV12") {
        out[width * height + y * 2 * cw + 2 * x] = U(p);
        out[width * height + y * 2 * cw + 2 * x + 1] = V(p);
      } else {
        out[width * height + y * cw + x] = U(p);
        out[width * height + cw * rows + y * cw + x] = V(p);
      }
    }
  }
  return out;
}

test("module facts: version, schema with the integrations' defaults", () => {
  assert.match(kelvo.version, /^\d+\.\d+\.\d+$/);
  const schema = kelvo.settings();
  assert.equal(schema.version, kelvo.version);
  const level = schema.keys.find((k) => k.key === "video_denoiser_option").members.find((m) => m.name === "level");
  assert.equal(level.integration_default, 2);
  schema.keys.length = 0; // a copy: the next call is whole again
  assert.ok(kelvo.settings().keys.length >= 4);
});

test("every format is processed in place, alpha kept, for both builds", () => {
  for (const [name, k] of Object.entries(builds)) {
    for (const format of ["I420", "I422", "NV12", "RGBA", "RGBX", "BGRA", "BGRX"]) {
      const engine = k.createEngine({ threads: 1 });
      const data = frameBytes(format, 37, 21);
      const before = data.slice();
      assert.equal(engine.processFrame(data, 37, 21, format, { matrix: "bt601", range: "limited" }), 0,
        `${name} ${format}`);
      assert.notDeepEqual(data, before, `${name} ${format} unchanged`);
      if (/^(RGB|BGR)/.test(format)) {
        for (let i = 3; i < data.length; i += 4) assert.equal(data[i], 77, `${name} ${format} alpha`);
      }
      engine.release();
    }
  }
});

test("bad frames are refused and left as they came", () => {
  const engine = kelvo.createEngine({ threads: 1 });
  const data = frameBytes("I420", 16, 16);
  const before = data.slice();
  const rows = [
    [data.subarray(0, 100), 16, 16, "I420"], // too short
    [data, 0, 16, "I420"],
    [data, 16, -2, "I420"],
    [data, 16.5, 16, "I420"],
    [data, 20000, 1, "I420"],
  ];
  for (const [d, w, h, f] of rows) assert.equal(engine.processFrame(d, w, h, f), -6, `${w}x${h}`);
  for (const timestamp of [NaN, Infinity, 1e300]) {
    assert.equal(engine.processFrame(data, 16, 16, "I420", { timestamp }), -6, `timestamp ${timestamp}`);
  }
  assert.deepEqual(data, before);
  assert.throws(() => engine.processFrame(data, 16, 16, "YUY2"), /unknown format "YUY2"/);
  assert.throws(() => engine.processFrame(data, 16, 16, "I420", { matrix: "bt999" }), /unknown matrix/);
  assert.throws(() => engine.processFrame([1, 2, 3], 1, 1, "I420"), TypeError);
  engine.release();
});

test("setParameter applies valid members and throws the library's texts for the others", () => {
  const engine = kelvo.createEngine({ threads: 1 });
  const rows = [
    ["beauty_effect_option", { smoothness: 0.8 }, []],
    ["beauty_effect_option", '{"smoothness": 2, "lightness": 0.4}',
      [["smoothness", "beauty_effect_option.smoothness = 2 (accepted: number in [0, 1])"]]],
    ["color_enhance_option", { strength: "x", bogus: 1 }, [["strength", /strength/], ["bogus", /bogus/]]],
    ["no_such_option", { a: 1 }, [["", /no_such_option/]]],
  ];
  for (const [key, doc, expected] of rows) {
    if (!expected.length) {
      engine.setParameter(key, doc);
      continue;
    }
    assert.throws(() => engine.setParameter(key, doc), (e) => {
      assert.equal(e.rejections.length, expected.length, e.message);
      e.rejections.forEach((r, i) => {
        assert.equal(r.member, expected[i][0]);
        if (typeof expected[i][1] === "string") assert.equal(r.text, expected[i][1]);
        else assert.match(r.text, expected[i][1]);
        assert.ok(e.message.includes(r.text));
      });
      return true;
    });
  }
  assert.throws(() => engine.setParameter("beauty_effect_option", "{not json"), (e) => e.code === -7);
  assert.throws(() => engine.setEffects(["beauty", "sparkle"]), /unknown effect "sparkle"/);
  engine.release();
});

test("effects and facts: no effect selected leaves the frame, the automatic modes take timestamps", () => {
  const engine = kelvo.createEngine({ threads: 1, effects: ["beauty"] });
  assert.equal(engine.getInfo("backend"), "cpu");
  assert.equal(engine.getInfo("version"), kelvo.version);
  engine.setParameter("beauty_effect_option", { enable: 0 });
  const data = frameBytes("I420", 32, 32);
  const before = data.slice();
  assert.equal(engine.processFrame(data, 32, 32, "I420"), -4);
  assert.deepEqual(data, before);
  engine.setEffects(["denoise", "lowlight"]);
  for (let i = 0; i < 3; ++i) assert.ok(engine.processFrame(data, 32, 32, "I420", { timestamp: i * 33333 }) >= 0);
  engine.release();
});

test("threads the module cannot start leave the frame to the calling thread", () => {
  const engine = kelvo.createEngine({ threads: 2 });
  const data = frameBytes("I420", 64, 48);
  const before = data.slice();
  assert.equal(engine.processFrame(data, 64, 48, "I420"), 0);
  assert.notDeepEqual(data, before);
  engine.release();
});

test("release frees the engine; later calls throw, a second release does nothing", () => {
  const engine = kelvo.createEngine({ threads: 1 });
  engine.release();
  engine.release();
  assert.ok(engine.released);
  const data = frameBytes("I420", 8, 8);
  for (const call of [() => engine.processFrame(data, 8, 8, "I420"), () => engine.setEffects(["beauty"]),
    () => engine.setParameter("beauty_effect_option", {}), () => engine.getInfo("backend")]) {
    assert.throws(call, /released/);
  }
  assert.throws(() => kelvo.createEngine({ backend: "gpu" }), /createEngine/);
});

test("ten thousand frames and a hundred engines leave the memory as after warm-up", () => {
  const k = builds.plain;
  const engine = k.createEngine({ threads: 1, effects: ["denoise", "lowlight", "color", "beauty"] });
  const frames = [frameBytes("I420", 64, 48, 1), frameBytes("I420", 64, 48, 2)];
  const run = (from, to) => {
    for (let i = from; i < to; ++i) {
      const data = frames[i & 1].slice();
      assert.equal(engine.processFrame(data, 64, 48, "I420", { timestamp: i * 33333 }), 0);
    }
  };
  run(0, 50);
  for (let i = 0; i < 5; ++i) k.createEngine({ threads: 1 }).release();
  const warm = k.memoryBytes;
  run(50, 10050);
  for (let i = 0; i < 100; ++i) k.createEngine({ threads: 1 }).release();
  assert.equal(k.memoryBytes, warm);
  engine.release();
});

// The native tool on a Y4M clip against processFrame on the same frames.
const enhance = process.env.KELVO_ENHANCE;
test("output equals the native CPU backend's", { skip: !enhance && "KELVO_ENHANCE not set" }, () => {
  assert.ok(existsSync(enhance), enhance);
  const width = 96, height = 64, count = 3;
  const dir = mkdtempSync(join(tmpdir(), "kelvo-web-"));
  const frames = Array.from({ length: count }, (_, i) => frameBytes("I420", width, height, i + 1));
  const header = `YUV4MPEG2 W${width} H${height} F30:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n`;
  writeFileSync(join(dir, "in.y4m"), Buffer.concat([Buffer.from(header),
    ...frames.flatMap((f) => [Buffer.from("FRAME\n"), Buffer.from(f)])]));
  const params = { video_denoiser_option: { mode: 1, level: 2 }, lowlight_enhance_option: { mode: 1 } };
  const rows = [["denoise", "color", "beauty"], ["lowlight", "color"], ["beauty"]];
  for (const effects of rows) {
    execFileSync(enhance, ["-i", join(dir, "in.y4m"), "-o", join(dir, "out.y4m"), "-e", effects.join(","),
      "--backend", "cpu", "--threads", "1", "--no-progress",
      ...Object.entries(params).flatMap(([key, doc]) => ["-p", `${key}=${JSON.stringify(doc)}`])]);
    const native = readFileSync(join(dir, "out.y4m"));
    const size = frames[0].length;
    for (const [name, k] of Object.entries(builds)) {
      const engine = k.createEngine({ threads: 1, effects });
      for (const [key, doc] of Object.entries(params)) engine.setParameter(key, doc);
      let at = native.indexOf("\n") + 1;
      frames.forEach((f, i) => {
        const data = f.slice();
        assert.equal(engine.processFrame(data, width, height, "I420", { matrix: "bt601", range: "limited" }), 0);
        at += "FRAME\n".length;
        const expected = native.subarray(at, at + size);
        at += size;
        assert.ok(Buffer.from(data).equals(expected), `${name} ${effects} frame ${i} differs from native`);
      });
      engine.release();
    }
  }
});
