// processFrame of the WebAssembly package in headless Chromium, one thread:
// 640x480 and 1280x720 I420, all four effects, the SIMD128 and plain builds,
// plus each effect alone at 640x480. Prints milliseconds per frame (median
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
  const run = async (simd, effects, width, height) => evaluate(`(async () => {
    const { createKelvo } = await import("/dist/index.mjs");
    const kelvo = await createKelvo({ simd: ${simd} });
    const engine = kelvo.createEngine({ threads: 1, effects: ${JSON.stringify(effects)} });
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
  for (const [simd, effects, w, h] of rows) {
    const ms = await run(simd, effects, w, h);
    console.log(`${simd ? "simd128" : "plain  "} ${`${w}x${h}`.padEnd(9)} ${effects.join(",").padEnd(28)} ${ms.toFixed(1)} ms`);
  }
} finally {
  browser.kill();
  server.kill();
}
