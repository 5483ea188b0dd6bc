// The enhancer's worker (index.mjs createEnhancer): owns one engine and
// answers each frame it is sent with one frame, the processed one, or the
// one it was sent when processing failed; it closes the frame it consumed.
import { createKelvo } from "./index.mjs";

let engine = null;

self.onmessage = async ({ data }) => {
  if (data.type === "init") {
    try {
      const { effects, params = {}, cpuMask, simd, ...config } = data.options;
      const kelvo = await createKelvo({ cpuMask, simd });
      engine = kelvo.createEngine({ ...config, ...(effects ? { effects } : {}) });
      for (const [key, doc] of Object.entries(params)) engine.setParameter(key, doc);
      self.postMessage({ type: "ready", simd: kelvo.simd, maxThreads: kelvo.maxThreads });
    } catch (e) {
      self.postMessage({ type: "error", message: String(e.message ?? e) });
    }
    return;
  }
  if (data.type === "params") {
    try {
      for (const [key, doc] of Object.entries(data.params)) engine.setParameter(key, doc);
    } catch (e) {
      self.postMessage({ type: "error", id: -1, message: String(e.message ?? e) });
    }
    return;
  }
  if (data.type === "effects") {
    engine.setEffects(data.effects);
    return;
  }
  if (data.type !== "frame") return;
  const frame = data.frame;
  const start = performance.now();
  try {
    const out = await engine.process(frame);
    frame.close();
    self.postMessage({ type: "frame", id: data.id, frame: out, code: 0,
      ms: performance.now() - start }, [out]);
  } catch (e) {
    self.postMessage({ type: "frame", id: data.id, frame, code: e.code ?? -1,
      message: String(e.message ?? e), ms: performance.now() - start }, [frame]);
  }
};
