// processFrame of the WebAssembly package in headless Chromium, one thread:
// 640x480 and 1280x720 I420, all four effects, the SIMD128 and plain builds,
// plus each effect alone at 640x480, and two threads where the package has
// the threaded build (the server makes the page cross-origin isolated). Prints milliseconds per frame (median
// of the timed frames after a warm-up).
//   node bench/web_chromium.mjs [FRAMES]      (after scripts/build-web.sh)
import { mkdtempSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { startServer, startChromium } from "../web/tools/browser.mjs";

const root = resolve(import.meta.dirname, "..");
const pkg = resolve(process.env.KELVO_WEB_PACKAGE ?? join(root, "build-web/package"));
const frames = Number(process.argv[2] ?? 30);
const { server, base } = await startServer(pkg);
const { browser, page, evaluate } = await startChromium(mkdtempSync(join(tmpdir(), "kelvo-bench-")));
try {
  await page("Page.navigate", { url: `${base}package.json` });
  await new Promise((r) => setTimeout(r, 500));
  const run = async (simd, effects, width, height, threads = 1) => evaluate(`(async () => {
    const { createKelvo } = await import("/dist/index.mjs");
    const kelvo = await createKelvo({ simd: ${simd}, threads: ${threads > 1} });
    if (kelvo.maxThreads < ${threads}) return NaN;
    const engine = kelvo.createEngine({ threads: ${threads}, effects: ${JSON.stringify(effects)} });
    for (const [key, doc] of Object.entries({ video_denoiser_option: { mode: 1 }, lowlight_enhance_option: { mode: 1 } }))
      engine.setParameter(key, doc);
    const w = ${width}, h = ${height};
    const source = new Uint8Array(w * h * 3 / 2);
    let s = 1;
    for (let i = 0; i < source.length; ++i) source[i] = (i < w * h ? 60 + ((i % w) * 120) / w : 128) + ((s = (s * 1103515245 + 12345) >>> 0) >>> 28);
    const data = new Uint8Array(source.length);
    const times = [];
    for (let i = 0; i < ${frames} + 5; ++i) {
      data.set(source);
      const t = performance.now();
      const r = engine.processFrame(data, w, h, "I420", { timestamp: i * 33333 });
      if (r !== 0) throw new Error("processFrame " + r);
      if (i >= 5) times.push(performance.now() - t);
    }
    engine.release();
    times.sort((a, b) => a - b);
    return times[times.length >> 1];
  })()`);
  const all = ["denoise", "lowlight", "color", "beauty"];
  const rows = [];
  for (const simd of [true, false]) {
    for (const [w, h] of [[640, 480], [1280, 720]]) rows.push([simd, all, w, h]);
  }
  for (const e of all) rows.push([true, [e], 640, 480]);
  // The threaded build (scripts/build-web.sh --threads), one and two threads.
  for (const [w, h] of [[640, 480], [1280, 720]]) {
    rows.push([true, all, w, h, 2]);
  }
  for (const [simd, effects, w, h, threads = 1] of rows) {
    const ms = await run(simd, effects, w, h, threads);
    const name = threads > 1 ? `simd128 ${threads} threads` : simd ? "simd128" : "plain";
    console.log(`${name.padEnd(17)} ${`${w}x${h}`.padEnd(9)} ${effects.join(",").padEnd(28)} ` +
      (Number.isNaN(ms) ? "no threaded build" : `${ms.toFixed(1)} ms`));
  }
} finally {
  browser.kill();
  server.kill();
}
