// Types of the kelvo ES module (index.mjs); docs/web.md describes the calls.

/** WebCodecs' names, by byte order in memory ("RGBA" = bytes R, G, B, A). */
export type PixelFormat = "I420" | "I422" | "NV12" | "RGBA" | "RGBX" | "BGRA" | "BGRX";
/** The command-line tool's names, or a code 0-9. */
export type Matrix =
  | "rgb" | "bt709" | "fcc" | "bt470bg" | "bt601" | "smpte170m" | "smpte240m" | "ycgco"
  | "bt2020" | "bt2020nc" | "bt2020c" | number;
export type Range = "limited" | "full" | number;
export type EffectName = "denoise" | "lowlight" | "color" | "colour" | "beauty";

export interface FrameOptions {
  matrix?: Matrix;
  range?: Range;
  /** Stream time in microseconds, counted by the automatic modes. */
  timestamp?: number;
}

export interface Rejection {
  /** The refused member, "" when the whole document or key was refused. */
  member: string;
  /** The library's text, e.g. "beauty_effect_option.smoothness = 2 (accepted: number in [0, 1])". */
  text: string;
}

/** Thrown by setParameter when members were refused (the others were applied). */
export interface RejectionError extends Error {
  rejections: Rejection[];
}

export interface SchemaMember {
  name: string;
  type: "number" | "integer" | "switch";
  minimum?: number;
  maximum?: number;
  exclusive_minimum?: number;
  exclusive_maximum?: number | null;
  offered_maximum: number | null;
  default: number;
  integration_default: number;
  element_property: string | null;
  obs_setting: string | null;
  accepted: string;
  summary: string;
}
export interface SchemaKey {
  key: string;
  effect_id: number | null;
  cli_name: string | null;
  title?: string;
  members: SchemaMember[];
}
export interface Schema {
  version: string;
  keys: SchemaKey[];
}

export interface EngineConfig {
  backend?: "cpu" | "auto";
  /** CPU threads; 0 picks the count (one thread without cross-origin isolation). */
  threads?: number;
  /** Effects selected at creation (default ["denoise", "color", "beauty"]). */
  effects?: EffectName[];
}

export interface Engine {
  readonly released: boolean;
  setEffects(names: EffectName[] | string): void;
  /** Applies the valid members; throws a RejectionError naming the refused ones. */
  setParameter(key: string, params: object | string): void;
  /** 0 success; on failure (negative code) the bytes are as they came. */
  processFrame(data: Uint8Array, width: number, height: number, format: PixelFormat,
               options?: FrameOptions): number;
  /** A new frame with the same timestamp; the caller closes both frames. */
  process(frame: VideoFrame): Promise<VideoFrame>;
  getInfo(key: "version" | "backend" | "renderer" | "dark_scene" | "noisy" | string): string;
  /** Frees the engine; later calls throw, a second release does nothing. */
  release(): void;
}

export interface EnhancerStats {
  ms: number;
  dropped: number;
  result: number;
  message?: string;
}
export interface EnhancerOptions extends EngineConfig {
  /** Parameter documents applied after the defaults. */
  params?: Record<string, object>;
  /** Frames with the worker at once before new ones are dropped (default 1). */
  maxInFlight?: number;
  workerUrl?: string | URL;
  onStats?: (stats: EnhancerStats) => void;
  cpuMask?: string;
  simd?: boolean;
}
export interface Enhancer extends TransformStream<VideoFrame, VideoFrame> {
  setParameter(key: string, params: object): void;
  setEffects(names: EffectName[]): void;
  /** Settles when the worker's engine is ready (rejects with its error). */
  readonly ready: Promise<void>;
  /** The worker's module once ready: SIMD128, and threads an engine may use. */
  readonly info: { simd: boolean; maxThreads: number } | null;
}

export interface Kelvo {
  readonly version: string;
  /** True when the SIMD128 build runs. */
  readonly simd: boolean;
  /** Threads an engine may use: 1 unless the threaded build runs. */
  readonly maxThreads: number;
  /** Bytes of the module's memory (it grows, never shrinks). */
  readonly memoryBytes: number;
  settings(): Schema;
  createEngine(config?: EngineConfig): Engine;
  createEnhancer(options?: EnhancerOptions): Enhancer;
}

export interface KelvoOptions {
  /** Force the SIMD128 (true) or plain (false) build; default: what the engine validates. */
  simd?: boolean;
  /** false: the one-thread build even where the page is cross-origin isolated. */
  threads?: boolean;
  /** Where the .mjs and .wasm files are; default beside this module. */
  baseUrl?: string | URL;
  /** The rows to run, as KELVO_CPU_MASK ("c": portable only). */
  cpuMask?: string;
}

export function createKelvo(options?: KelvoOptions): Promise<Kelvo>;
export function createEnhancer(options?: EnhancerOptions): Enhancer;
export function tightLayout(format: PixelFormat, width: number, height: number):
  { size: number; planes: { offset: number; stride: number }[] };
