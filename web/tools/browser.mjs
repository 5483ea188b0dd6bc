// Headless Chromium and the page server for the browser tests and benchmarks.
import { spawn } from "node:child_process";
import { join, resolve } from "node:path";

const root = resolve(import.meta.dirname, "../..");

// web/serve.py on a free port, serving `folder`.
export function startServer(folder) {
  const server = spawn("python3", [join(root, "web/serve.py"), "0", folder], { stdio: ["ignore", "pipe", "inherit"] });
  return new Promise((resolvePromise, reject) => {
    server.stdout.on("data", (d) => {
      const m = /http:\/\/127\.0\.0\.1:(\d+)\//.exec(String(d));
      if (m) resolvePromise({ server, base: `http://127.0.0.1:${m[1]}/` });
    });
    server.on("exit", (code) => reject(new Error(`serve.py exited (${code})`)));
  });
}

// Headless Chromium (KELVO_CHROMIUM, default chromium) driven through its
// DevTools protocol on a pipe (fds 3 and 4), with one page attached.
export async function startChromium(dir, flags = []) {
  const browser = spawn(process.env.KELVO_CHROMIUM ?? "chromium", [
    "--headless=new", "--remote-debugging-pipe", "--no-sandbox", "--no-first-run",
    `--user-data-dir=${join(dir, "profile")}`, "--autoplay-policy=no-user-gesture-required",
    "--enable-logging=stderr", ...flags, "about:blank",
  ], { stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"] });
  const console = [];
  browser.stderr.on("data", (d) => console.push(String(d)));
  const waiting = new Map();
  let next = 1, buffer = "";
  browser.stdio[4].on("data", (d) => {
    buffer += d;
    let end;
    while ((end = buffer.indexOf("\0")) >= 0) {
      const message = JSON.parse(buffer.slice(0, end));
      buffer = buffer.slice(end + 1);
      const w = waiting.get(message.id);
      if (!w) continue;
      waiting.delete(message.id);
      if (message.error) w.reject(new Error(JSON.stringify(message.error)));
      else w.resolve(message.result);
    }
  });
  const send = (method, params = {}, sessionId) => new Promise((res, rej) => {
    const id = next++;
    waiting.set(id, { resolve: res, reject: rej });
    browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + "\0");
  });
  const { targetId } = await send("Target.createTarget", { url: "about:blank" });
  const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
  const page = (method, params) => send(method, params, sessionId);
  await page("Page.enable");
  const evaluate = async (expression) => {
    const r = await page("Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true });
    if (r.exceptionDetails) throw new Error(`${expression}: ${JSON.stringify(r.exceptionDetails)}`);
    return r.result.value;
  };
  return { browser, page, evaluate, console };
}

