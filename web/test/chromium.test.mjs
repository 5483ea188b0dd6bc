// The demo page and the README's ten-line page in headless Chromium, the
// camera faked from a generated Y4M clip: the enhanced track must carry the
// camera's picture, smoother. Prints the milliseconds per frame; the demo's
// screenshot goes to KELVO_WEB_SCREENSHOT (default build-web/web-demo.png).
//   KELVO_WEB_PACKAGE   the package folder (default build-web/package)
//   KELVO_CHROMIUM      the browser (default chromium)
import { test, after } from "node:test";
import assert from "node:assert/strict";
import { startServer, startChromium } from "../tools/browser.mjs";
import { existsSync, mkdtempSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

const root = resolve(import.meta.dirname, "../..");
const pkg = resolve(process.env.KELVO_WEB_PACKAGE ?? join(root, "build-web/package"));
const screenshot = resolve(process.env.KELVO_WEB_SCREENSHOT ?? join(root, "build-web/web-demo.png"));
const dir = mkdtempSync(join(tmpdir(), "kelvo-chromium-"));
// The threaded build, where the package has it (build-web.sh --threads).
const threaded = existsSync(join(pkg, "dist/kelvo-simd-mt.mjs"));

// A noisy face-toned disc drifting over a gradient, 640x480 I420.
function writeClip(path, frames = 15) {
  const w = 640, h = 480, cw = w / 2, ch = h / 2;
  let s = 7;
  const noise = () => ((s = (s * 1103515245 + 12345) >>> 0) >>> 26) - 32;
  const parts = [Buffer.from(`YUV4MPEG2 W${w} H${h} F15:1 Ip A1:1 C420jpeg\n`)];
  for (let f = 0; f < frames; ++f) {
    const y = Buffer.alloc(w * h), u = Buffer.alloc(cw * ch), v = Buffer.alloc(cw * ch);
    const cx = w / 2 + 4 * f, cy = h / 2;
    for (let j = 0; j < h; ++j) {
      for (let i = 0; i < w; ++i) {
        const face = Math.hypot(i - cx, j - cy) < 150;
        y[j * w + i] = Math.max(16, Math.min(235, (face ? 160 : 60 + (i * 80) / w) + noise()));
      }
    }
    for (let j = 0; j < ch; ++j) {
      for (let i = 0; i < cw; ++i) {
        const face = Math.hypot(2 * i - cx, 2 * j - cy) < 150;
        u[j * cw + i] = face ? 110 : 128;
        v[j * cw + i] = face ? 155 : 128;
      }
    }
    parts.push(Buffer.from("FRAME\n"), y, u, v);
  }
  writeFileSync(path, Buffer.concat(parts));
}

const clip = join(dir, "camera.y4m");
writeClip(clip);
const { server, base } = await startServer(pkg);
const { browser, page, evaluate, console: log } = await startChromium(dir, [
  "--use-fake-ui-for-media-stream", "--use-fake-device-for-media-stream",
  `--use-file-for-fake-video-capture=${clip}`, "--window-size=1040,760",
]);
after(() => {
  browser.kill();
  server.kill();
});
// Polls until the page's condition holds; the limit only keeps a broken page
// from hanging the run.
async function until(expression, what, limitMs = 90000) {
  for (let waited = 0; waited < limitMs; waited += 250) {
    if (await evaluate(expression)) return;
    await new Promise((r) => setTimeout(r, 250));
  }
  throw new Error(`${what} never happened; browser log:\n${log.join("").slice(-3000)}`);
}

// Mean brightness and mean absolute step between neighbours (noise and
// edges) of the middle of a video, as the page draws it.
const measure = `(video) => {
  const c = document.createElement("canvas");
  c.width = video.videoWidth; c.height = video.videoHeight;
  const g = c.getContext("2d", { willReadFrequently: true });
  g.drawImage(video, 0, 0);
  const d = g.getImageData(c.width / 4, c.height / 4, c.width / 2, c.height / 2).data;
  let sum = 0, steps = 0;
  for (let i = 0; i < d.length; i += 4) {
    sum += d[i + 1];
    if ((i / 4) % (c.width / 2) !== 0) steps += Math.abs(d[i + 1] - d[i - 3]);
  }
  const n = d.length / 4;
  return { width: c.width, height: c.height, mean: sum / n, step: steps / n };
}`;

test("the demo page enhances the fake camera through insertable streams", async () => {
  await page("Page.navigate", { url: `${base}demo/index.html` });
  await until("window.kelvoDemo?.frames >= 30", "30 enhanced frames");
  const demo = await evaluate("JSON.parse(JSON.stringify(window.kelvoDemo))");
  assert.equal(demo.mode, "insertable streams");
  assert.equal(demo.errors, 0);
  assert.ok(demo.simd, "the SIMD128 build runs");
  // The server makes the page cross-origin isolated: the worker takes threads.
  assert.equal(demo.maxThreads, threaded ? 4 : 1);
  await until("document.getElementById('output').videoWidth > 0", "the enhanced video");
  const input = await evaluate(`(${measure})(document.getElementById("input"))`);
  const output = await evaluate(`(${measure})(document.getElementById("output"))`);
  assert.deepEqual([output.width, output.height], [input.width, input.height]);
  // The same scene (the disc drifts a few pixels a frame), smoother.
  assert.ok(Math.abs(output.mean - input.mean) < 25, `means ${input.mean} ${output.mean}`);
  assert.ok(output.step < 0.8 * input.step, `steps ${input.step} ${output.step}`);
  const ms = demo.msTotal / demo.frames;
  console.log(`# chromium demo: ${demo.frames} frames 640x480, ${ms.toFixed(1)} ms per frame in the worker, ` +
    `${demo.dropped} dropped, camera step ${input.step.toFixed(2)} -> ${output.step.toFixed(2)}`);
  const shot = await page("Page.captureScreenshot", { format: "png" });
  writeFileSync(screenshot, Buffer.from(shot.data, "base64"));
});

test("without insertable streams the demo draws through a canvas", async () => {
  await page("Page.navigate", { url: `${base}demo/index.html?canvas` });
  await until("window.kelvoDemo?.frames >= 5", "5 frames drawn through the canvas");
  const demo = await evaluate("JSON.parse(JSON.stringify(window.kelvoDemo))");
  assert.equal(demo.mode, "canvas");
  const input = await evaluate(`(${measure})(document.getElementById("input"))`);
  const c = await evaluate(`(() => { const c = document.getElementById("fallback");
    const d = c.getContext("2d").getImageData(c.width / 4, c.height / 4, c.width / 2, c.height / 2).data;
    let sum = 0, steps = 0;
    for (let i = 0; i < d.length; i += 4) { sum += d[i + 1]; if ((i / 4) % (c.width / 2)) steps += Math.abs(d[i + 1] - d[i - 3]); }
    return { width: c.width, height: c.height, mean: sum / (d.length / 4), step: steps / (d.length / 4) }; })()`);
  assert.deepEqual([c.width, c.height], [input.width, input.height]);
  assert.ok(Math.abs(c.mean - input.mean) < 25, `means ${input.mean} ${c.mean}`);
  assert.ok(c.step < 0.8 * input.step, `steps ${input.step} ${c.step}`);
});

test("the README's ten-line page enhances the camera", async () => {
  await page("Page.navigate", { url: `${base}demo/minimal.html` });
  await until("document.getElementById('out')?.currentTime > 1", "a second of enhanced video");
  const output = await evaluate(`(${measure})(document.getElementById("out"))`);
  const camera = await evaluate(`navigator.mediaDevices.getUserMedia({ video: { width: 640, height: 480 } })
    .then(async (s) => { const v = document.createElement("video"); v.muted = true; v.srcObject = s;
      await v.play(); while (!v.videoWidth) await new Promise((r) => setTimeout(r, 50));
      const m = (${measure})(v); s.getTracks().forEach((t) => t.stop()); return m; })`);
  assert.deepEqual([output.width, output.height], [640, 480]);
  assert.ok(Math.abs(output.mean - camera.mean) < 25, `means ${camera.mean} ${output.mean}`);
  assert.ok(output.step < 0.8 * camera.step, `steps ${camera.step} ${output.step}`);
});

test("process(VideoFrame) returns a new frame with the same time and leaves the given one open", async () => {
  await page("Page.navigate", { url: `${base}package.json` });
  await until("document.readyState === 'complete'", "the page");
  const r = await evaluate(`(async () => {
    const { createKelvo } = await import("/dist/index.mjs");
    const engine = (await createKelvo()).createEngine({ threads: 1, effects: ["color", "beauty"] });
    const rows = [];
    for (const [format, bytes] of [["I420", 1.5], ["NV12", 1.5], ["RGBA", 4], ["BGRX", 4]]) {
      const data = new Uint8Array(64 * 48 * bytes);
      for (let i = 0; i < data.length; ++i) data[i] = 40 + ((i * 37) % 160);
      const frame = new VideoFrame(data, { format, codedWidth: 64, codedHeight: 48, timestamp: 1234, duration: 40 });
      const out = await engine.process(frame);
      const back = new Uint8Array(data.length);
      await out.copyTo(back);
      rows.push({ format, open: frame.format !== null, outFormat: out.format, size: [out.codedWidth, out.codedHeight],
        timestamp: out.timestamp, duration: out.duration, changed: back.some((b, i) => b !== data[i]) });
      frame.close();
      out.close();
    }
    engine.release();
    return rows;
  })()`);
  for (const row of r) {
    assert.deepEqual(row, { format: row.format, open: true, outFormat: row.format, size: [64, 48],
      timestamp: 1234, duration: 40, changed: true });
  }
});

test("two threads give the bytes of one", { skip: !threaded && "no threaded build in the package" }, async () => {
  await page("Page.navigate", { url: `${base}package.json` });
  await until("document.readyState === 'complete'", "the page");
  const r = await evaluate(`(async () => {
    const { createKelvo } = await import("/dist/index.mjs");
    const kelvo = await createKelvo();
    const out = [];
    for (const threads of [1, 2]) {
      const engine = kelvo.createEngine({ threads, effects: ["denoise", "lowlight", "color", "beauty"] });
      engine.setParameter("video_denoiser_option", { mode: 1 });
      engine.setParameter("lowlight_enhance_option", { mode: 1 });
      let digest = 0;
      for (let f = 0; f < 3; ++f) {
        const data = new Uint8Array(320 * 240 * 3 / 2);
        for (let i = 0; i < data.length; ++i) data[i] = 30 + ((i * 13 + f * 7) % 200);
        if (engine.processFrame(data, 320, 240, "I420", { timestamp: f * 33333 }) !== 0) return "failed";
        for (const b of data) digest = (digest * 31 + b) >>> 0;
      }
      engine.release();
      out.push(digest);
    }
    return { maxThreads: kelvo.maxThreads, digests: out };
  })()`);
  assert.equal(r.maxThreads, 4);
  assert.equal(r.digests[1], r.digests[0]);
});
