// The demo: the camera (or a file) on the left, the enhanced track on the
// right, effect toggles and sliders built from the settings schema, and the
// milliseconds per frame. Insertable streams where the browser has them; a
// canvas drawn frame by frame elsewhere (Firefox, Safari).
import { createKelvo } from "../dist/index.mjs";

// This thread's module serves the schema and the canvas path; the enhancer's
// worker loads its own (threaded where the page is cross-origin isolated).
const kelvo = await createKelvo({ threads: false });
const schema = kelvo.settings();
const input = document.getElementById("input");
const output = document.getElementById("output");
const statsText = document.getElementById("stats");
// What the page's test reads.
const demo = { frames: 0, dropped: 0, msTotal: 0, errors: 0, mode: "", simd: kelvo.simd, maxThreads: 1 };
window.kelvoDemo = demo;

const effects = new Set(["denoise", "color", "beauty"]);
let target = null; // the enhancer or the fallback's engine

function showStats(ms) {
  demo.frames += 1;
  demo.msTotal += ms;
  statsText.textContent = `${(demo.msTotal / demo.frames).toFixed(1)} ms per frame` +
    ` (${demo.mode}${kelvo.simd ? ", SIMD128" : ""}${demo.maxThreads > 1 ? ", threads" : ""}; ` +
    `${demo.dropped} dropped)`;
}

function buildControls() {
  const box = document.getElementById("controls");
  for (const key of schema.keys) {
    if (!key.cli_name) continue;
    const set = document.createElement("fieldset");
    const toggle = document.createElement("label");
    toggle.innerHTML = `<input type="checkbox" ${effects.has(key.cli_name) ? "checked" : ""}> ${key.title ?? key.cli_name}`;
    toggle.firstChild.onchange = (e) => {
      if (e.target.checked) effects.add(key.cli_name); else effects.delete(key.cli_name);
      const order = ["denoise", "lowlight", "color", "beauty"].filter((n) => effects.has(n));
      target?.setEffects(order);
    };
    set.append(toggle);
    for (const m of key.members) {
      if (m.type === "switch" || m.offered_maximum === null || m.name === "mode") continue;
      const min = m.minimum ?? Math.max(0, m.exclusive_minimum ?? 0);
      const step = m.type === "integer" ? 1 : 0.01;
      const row = document.createElement("label");
      row.title = m.summary;
      row.innerHTML = `<input type="range" min="${min}" max="${m.offered_maximum}" step="${step}" value="${m.integration_default}"> ${m.name}`;
      row.firstChild.oninput = (e) => target?.setParameter(key.key, { [m.name]: Number(e.target.value) });
      set.append(row);
    }
    box.append(set);
  }
}

function enhanceWithStreams(stream) {
  demo.mode = "insertable streams";
  const enhancer = kelvo.createEnhancer({
    onStats: (s) => {
      demo.dropped = s.dropped;
      if (s.result === 0) showStats(s.ms); else demo.errors += 1;
    },
  });
  target = enhancer;
  enhancer.ready.then(() => { demo.maxThreads = enhancer.info.maxThreads; });
  const processor = new MediaStreamTrackProcessor({ track: stream.getVideoTracks()[0] });
  const generator = new MediaStreamTrackGenerator({ kind: "video" });
  processor.readable.pipeThrough(enhancer).pipeTo(generator.writable);
  output.srcObject = new MediaStream([generator]);
}

// Without insertable streams: each video frame drawn to a canvas, processed
// as RGBA on this thread, and drawn back.
function enhanceWithCanvas() {
  demo.mode = "canvas";
  const engine = kelvo.createEngine({ effects: [...effects] });
  target = engine;
  output.hidden = true;
  const canvas = document.getElementById("fallback");
  canvas.hidden = false;
  const ctx = canvas.getContext("2d", { willReadFrequently: true });
  const step = () => {
    if (input.videoWidth) {
      canvas.width = input.videoWidth;
      canvas.height = input.videoHeight;
      ctx.drawImage(input, 0, 0);
      const image = ctx.getImageData(0, 0, canvas.width, canvas.height);
      const bytes = new Uint8Array(image.data.buffer);
      const start = performance.now();
      const r = engine.processFrame(bytes, canvas.width, canvas.height, "RGBA",
        { range: "full", timestamp: Math.round(performance.now() * 1000) });
      if (r === 0) { ctx.putImageData(image, 0, 0); showStats(performance.now() - start); }
    }
    (input.requestVideoFrameCallback ? input.requestVideoFrameCallback.bind(input) : requestAnimationFrame)(step);
  };
  step();
}

async function start(stream) {
  input.srcObject = stream;
  const streams = typeof MediaStreamTrackProcessor === "function" &&
    typeof MediaStreamTrackGenerator === "function" && !new URLSearchParams(location.search).has("canvas");
  if (streams) enhanceWithStreams(stream); else enhanceWithCanvas();
}

document.getElementById("file").onchange = (e) => {
  const file = e.target.files[0];
  if (!file) return;
  const video = document.createElement("video");
  video.src = URL.createObjectURL(file);
  video.loop = true;
  video.muted = true;
  video.play().then(() => {
    // The camera's pipeline ends with its track.
    input.srcObject?.getTracks().forEach((t) => t.stop());
    start(video.captureStream());
  });
};

buildControls();
try {
  start(await navigator.mediaDevices.getUserMedia({ video: { width: 640, height: 480 } }));
} catch (e) {
  statsText.textContent = `no camera: ${e.message}`;
}
