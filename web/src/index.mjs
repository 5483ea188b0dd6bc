// The library in the browser and in node: an ES module over the WebAssembly
// build of the C interface (include/kelvo/kelvo.h). docs/web.md describes it.

// WebCodecs' pixel formats, named by byte order in memory, to the C
// interface's codes; the X variants leave their fourth byte as it is.
const FORMATS = {
  I420: 1, I422: 2, NV12: 4, RGBA: 10, RGBX: 10, BGRA: 11, BGRX: 11,
};
// The command-line tool's names.
const MATRICES = {
  rgb: 0, bt709: 1, fcc: 2, bt470bg: 3, bt601: 4, smpte170m: 4, smpte240m: 5,
  ycgco: 6, bt2020: 7, bt2020nc: 7, bt2020c: 8,
};
const RANGES = { limited: 0, full: 1 };
// VideoColorSpace's matrix names.
const FRAME_MATRICES = {
  rgb: 0, bt709: 1, bt470bg: 3, smpte170m: 4, "bt2020-ncl": 7,
};
const OK = 0;
const ERR_INVALID_ARGUMENT = -6;

const isNode = typeof process === "object" && !!process.versions?.node;

function simdSupported() {
  // The smallest module with a v128 instruction (i32x4.splat of 0, dropped).
  const bytes = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0,
    10, 9, 1, 7, 0, 65, 0, 253, 17, 26, 11]);
  try { return WebAssembly.validate(bytes); } catch { return false; }
}

// Workers the threaded build starts with (web/CMakeLists.txt): an engine
// never asks for more, as a thread beyond them would start only after the
// call that waits for it returned.
const THREAD_POOL = 4;

async function loadModule(options) {
  const simd = options.simd ?? simdSupported();
  const base = options.baseUrl ?? new URL("./", import.meta.url);
  // Threads where the page is cross-origin isolated (shared memory) and the
  // package has the threaded build; one thread otherwise.
  const threaded = simd && options.threads !== false && !isNode &&
    globalThis.crossOriginIsolated === true;
  let name = simd ? "kelvo-simd" : "kelvo-plain";
  let factory;
  if (threaded) {
    try {
      ({ default: factory } = await import(new URL("kelvo-simd-mt.mjs", base).href));
      name = "kelvo-simd-mt";
    } catch {
      factory = undefined;
    }
  }
  if (!factory) ({ default: factory } = await import(new URL(`${name}.mjs`, base).href));
  const settings = {};
  if (isNode) {
    // This Emscripten's glue would hand node's fetch a file path: read the
    // bytes here.
    const { readFile } = await import("node:fs/promises");
    settings.wasmBinary = await readFile(new URL(`${name}.wasm`, base));
  } else {
    settings.locateFile = (file) => new URL(file, base).href;
  }
  const module = await factory(settings);
  module.kelvoSimd = simd;
  module.kelvoThreads = name === "kelvo-simd-mt" ? THREAD_POOL : 1;
  return module;
}

function withStrings(M, strings, fn) {
  const ptrs = strings.map((s) => {
    const size = M.lengthBytesUTF8(s) + 1;
    const p = M._malloc(size);
    if (!p) throw new Error("kelvo: out of memory");
    M.stringToUTF8(s, p, size);
    return p;
  });
  try {
    return fn(...ptrs);
  } finally {
    for (const p of ptrs) M._free(p);
  }
}

function code(table, value, what) {
  if (value === undefined || value === null) return -1;
  if (typeof value === "number" && Number.isInteger(value)) return value;
  const c = table[String(value).toLowerCase()];
  if (c === undefined) {
    throw new Error(`kelvo: unknown ${what} "${value}" (accepted: ${Object.keys(table).join(", ")})`);
  }
  return c;
}

class Engine {
  #M;
  #kelvo;
  #handle;
  // One buffer in the module's memory, grown as frames need.
  #buffer = 0;
  #bufferSize = 0;

  constructor(kelvo, M, handle) {
    this.#kelvo = kelvo;
    this.#M = M;
    this.#handle = handle;
  }

  #live() {
    if (!this.#handle) throw new Error("kelvo: the engine was released");
    return this.#handle;
  }

  get released() { return !this.#handle; }

  // Selects effects by the command-line tool's names, in chain order, each
  // enabled and the others disabled (denoise and lowlight in automatic mode).
  setEffects(names) {
    const list = Array.isArray(names) ? names : String(names).split(",");
    const M = this.#M;
    const h = this.#live();
    const ids = [];
    for (const n of list) {
      const id = withStrings(M, [String(n).trim()], (p) => M._kelvo_effect_id(p));
      if (!id) throw new Error(`kelvo: unknown effect "${n}" (accepted: denoise, lowlight, color, beauty)`);
      ids.push(id);
    }
    const result = withStrings(M, [list.map((n) => String(n).trim()).join(",")],
      (p) => M._kelvo_set_effects_by_name(h, p));
    if (result !== OK) throw new Error(`kelvo: setEffects: ${M.UTF8ToString(M._kelvo_last_error())}`);
    for (const key of this.#kelvo.settings().keys) {
      if (!key.effect_id) continue;
      const doc = { enable: ids.includes(key.effect_id) ? 1 : 0 };
      if (key.members.some((m) => m.name === "mode")) doc.mode = 0;
      this.setParameter(key.key, doc);
    }
  }

  // Applies a parameter document (an object or JSON text). The valid members
  // are applied; refused ones throw one Error listing the library's texts,
  // with `rejections` [{member, text}].
  setParameter(key, params) {
    const M = this.#M;
    const h = this.#live();
    const json = typeof params === "string" ? params : JSON.stringify(params);
    const result = withStrings(M, [String(key), json], (k, j) => M._kelvo_web_set_parameter(h, k, j));
    if (result !== OK) {
      const e = new Error(`kelvo: setParameter ${key}: ${M.UTF8ToString(M._kelvo_last_error())}`);
      e.code = result;
      throw e;
    }
    const count = M._kelvo_web_rejection_count();
    if (count === 0) return;
    const rejections = [];
    for (let i = 0; i < count; ++i) {
      rejections.push({
        member: M.UTF8ToString(M._kelvo_web_rejection_member(i)),
        text: M.UTF8ToString(M._kelvo_web_rejection_text(i)),
      });
    }
    const e = new Error(`kelvo: setParameter rejected: ${rejections.map((r) => r.text).join("; ")}`);
    e.rejections = rejections;
    throw e;
  }

  getInfo(key) {
    const M = this.#M;
    const h = this.#live();
    return withStrings(M, [String(key)], (k) => M.UTF8ToString(M._kelvo_web_get_info(h, k)));
  }

  // Processes `data` (a Uint8Array holding one tight frame) in place and
  // returns the result code (0 success; on failure the bytes are as they
  // came). options: {matrix, range, timestamp (microseconds)}.
  processFrame(data, width, height, format, options = {}) {
    const M = this.#M;
    const h = this.#live();
    if (!(data instanceof Uint8Array)) throw new TypeError("kelvo: data must be a Uint8Array");
    const fmt = FORMATS[format];
    if (fmt === undefined) {
      throw new Error(`kelvo: unknown format "${format}" (accepted: ${Object.keys(FORMATS).join(", ")})`);
    }
    const bytes = M._kelvo_web_frame_bytes(fmt, width | 0, height | 0);
    if (!bytes || width !== (width | 0) || height !== (height | 0) || data.length < bytes) {
      return ERR_INVALID_ARGUMENT;
    }
    const matrix = code(MATRICES, options.matrix, "matrix");
    const range = code(RANGES, options.range, "range");
    const ts = options.timestamp;
    const ptr = this.#reserve(bytes);
    if (!ptr) return -1;
    M.HEAPU8.set(data.subarray(0, bytes), ptr);
    const result = M._kelvo_web_process(h, ptr, fmt, width, height, matrix, range,
      ts === undefined || ts === null ? 0 : 1, ts ?? 0);
    if (result === OK) data.set(M.HEAPU8.subarray(ptr, ptr + bytes));
    return result;
  }

  // A new VideoFrame with the processed pixels and `frame`'s timestamp,
  // duration and colour space; `frame` stays open (the caller closes both).
  async process(frame) {
    this.#live();
    const format = frame.format;
    if (FORMATS[format] === undefined) throw new Error(`kelvo: unsupported VideoFrame format "${format}"`);
    // copyTo copies the visible rectangle; the coded size may be padded.
    const width = frame.visibleRect?.width ?? frame.codedWidth;
    const height = frame.visibleRect?.height ?? frame.codedHeight;
    const layout = tightLayout(format, width, height);
    const data = new Uint8Array(layout.size);
    await frame.copyTo(data, { layout: layout.planes });
    const cs = frame.colorSpace ?? {};
    const result = this.processFrame(data, width, height, format, {
      matrix: cs.matrix ? FRAME_MATRICES[cs.matrix] : undefined,
      range: cs.fullRange === true ? "full" : cs.fullRange === false ? "limited" : undefined,
      timestamp: frame.timestamp,
    });
    if (result !== OK) {
      const e = new Error(`kelvo: process failed (${result}): ${this.#M.UTF8ToString(this.#M._kelvo_last_error())}`);
      e.code = result;
      throw e;
    }
    const init = {
      format, codedWidth: width, codedHeight: height, timestamp: frame.timestamp,
      layout: layout.planes, colorSpace: frame.colorSpace?.toJSON?.() ?? undefined,
    };
    if (frame.duration !== null && frame.duration !== undefined) init.duration = frame.duration;
    return new VideoFrame(data, init);
  }

  // Frees the engine and its buffer; later calls throw. Safe to call twice.
  release() {
    if (!this.#handle) return;
    this.#M._kelvo_destroy(this.#handle);
    this.#handle = 0;
    if (this.#buffer) this.#M._free(this.#buffer);
    this.#buffer = 0;
    this.#bufferSize = 0;
  }

  #reserve(bytes) {
    if (bytes <= this.#bufferSize) return this.#buffer;
    if (this.#buffer) this.#M._free(this.#buffer);
    this.#buffer = this.#M._malloc(bytes);
    this.#bufferSize = this.#buffer ? bytes : 0;
    return this.#buffer;
  }
}

// Planes of a tight frame as VideoFrame.copyTo and new VideoFrame take them.
export function tightLayout(format, width, height) {
  const cw = (width + 1) >> 1, ch = (height + 1) >> 1;
  const luma = width * height;
  switch (format) {
    case "I420":
      return { size: luma + 2 * cw * ch, planes: [
        { offset: 0, stride: width }, { offset: luma, stride: cw },
        { offset: luma + cw * ch, stride: cw }] };
    case "I422":
      return { size: luma + 2 * cw * height, planes: [
        { offset: 0, stride: width }, { offset: luma, stride: cw },
        { offset: luma + cw * height, stride: cw }] };
    case "NV12":
      return { size: luma + 2 * cw * ch, planes: [
        { offset: 0, stride: width }, { offset: luma, stride: 2 * cw }] };
    default:
      return { size: 4 * luma, planes: [{ offset: 0, stride: 4 * width }] };
  }
}

class Kelvo {
  #M;
  #schema;
  constructor(M) { this.#M = M; }

  get version() { return this.#M.UTF8ToString(this.#M._kelvo_version()); }
  // True when the SIMD128 build runs.
  get simd() { return this.#M.kelvoSimd; }
  // Threads an engine may use: 1 unless the threaded build runs.
  get maxThreads() { return this.#M.kelvoThreads; }
  // Bytes of the module's memory (it grows, never shrinks).
  get memoryBytes() { return this.#M.HEAPU8.length; }

  // The settings schema (docs/c_api.md): every option key and member with
  // its range, the library's default and the integrations' default.
  settings() {
    if (!this.#schema) {
      const p = this.#M._kelvo_settings_schema();
      if (!p) throw new Error(`kelvo: ${this.#M.UTF8ToString(this.#M._kelvo_last_error())}`);
      this.#schema = JSON.parse(this.#M.UTF8ToString(p));
    }
    return structuredClone(this.#schema);
  }

  // An engine with the integrations' defaults (those of the settings schema
  // where they differ from the library's) and the effects of `effects`
  // (default denoise, color, beauty). config: {backend: "cpu", threads}.
  createEngine(config = {}) {
    const M = this.#M;
    const { effects = ["denoise", "color", "beauty"], ...engineConfig } = config;
    if (M.kelvoThreads > 1) {
      const wanted = engineConfig.threads || globalThis.navigator?.hardwareConcurrency || 1;
      engineConfig.threads = Math.min(wanted, M.kelvoThreads);
    }
    const handle = withStrings(M, [JSON.stringify({ backend: "cpu", threads: 0, ...engineConfig })],
      (p) => M._kelvo_web_create(p));
    if (!handle) throw new Error(`kelvo: createEngine: ${M.UTF8ToString(M._kelvo_last_error())}`);
    const engine = new Engine(this, M, handle);
    try {
      for (const key of this.settings().keys) {
        const doc = {};
        for (const m of key.members) {
          if (m.name !== "enable" && m.integration_default !== m.default) doc[m.name] = m.integration_default;
        }
        if (Object.keys(doc).length) engine.setParameter(key.key, doc);
      }
      engine.setEffects(effects);
    } catch (e) {
      engine.release();
      throw e;
    }
    return engine;
  }

  // A TransformStream of VideoFrames for insertable streams, processed in a
  // dedicated Worker (see enhancer-worker.mjs and docs/web.md).
  createEnhancer(options = {}) {
    return createEnhancer(options);
  }
}

// Loads the module: the SIMD128 build where the engine validates it, the
// plain one elsewhere, the threaded SIMD128 one where the page is
// cross-origin isolated and the package has it. options: {simd, threads
// (false: one thread), baseUrl, cpuMask}.
export async function createKelvo(options = {}) {
  const M = await loadModule(options);
  if (options.cpuMask !== undefined) {
    withStrings(M, [String(options.cpuMask)], (p) => M._kelvo_web_set_cpu_mask(p));
  }
  return new Kelvo(M);
}

// The enhancer: frames go to a Worker (transferred, not copied) that owns the
// engine. At most `maxInFlight` frames are with the worker; a frame arriving
// while that many are is closed and not passed on, so a slow engine drops
// frames instead of queuing them (the track stays live). Every frame the
// stream takes is either transferred or closed.
export function createEnhancer(options = {}) {
  const { maxInFlight = 1, workerUrl, onStats, ...engineOptions } = options;
  const worker = new Worker(workerUrl ?? new URL("./enhancer-worker.mjs", import.meta.url), { type: "module" });
  const pending = new Map();
  let next = 0;
  let ready;
  const started = new Promise((resolve, reject) => { ready = { resolve, reject }; });
  let controllerRef = null;
  let dropped = 0;
  worker.onmessage = ({ data }) => {
    if (data.type === "ready") {
      stream.info = { simd: data.simd, maxThreads: data.maxThreads };
      return ready.resolve();
    }
    if (data.type === "error" && data.id === undefined) return ready.reject(new Error(data.message));
    const done = pending.get(data.id);
    if (!done) return;
    pending.delete(data.id);
    // The processed frame, or on failure the frame as it came.
    if (controllerRef) controllerRef.enqueue(data.frame);
    else data.frame.close();
    onStats?.({ ms: data.ms, dropped, result: data.code, message: data.message });
    done();
  };
  worker.postMessage({ type: "init", options: engineOptions });
  const stream = new TransformStream({
    async start(controller) {
      controllerRef = controller;
      await started;
    },
    transform(frame) {
      if (pending.size >= maxInFlight) {
        frame.close();
        ++dropped;
        return;
      }
      const id = next++;
      pending.set(id, () => {});
      worker.postMessage({ type: "frame", id, frame }, [frame]);
    },
    async flush() {
      while (pending.size) await new Promise((r) => setTimeout(r, 5));
      controllerRef = null;
      worker.terminate();
    },
  });
  // Settings reach the worker's engine between frames.
  stream.setParameter = (key, params) => worker.postMessage({ type: "params", params: { [key]: params } });
  stream.setEffects = (effects) => worker.postMessage({ type: "effects", effects });
  stream.ready = started;
  // {simd, maxThreads} of the worker's module once ready.
  stream.info = null;
  return stream;
}
