// Shared pieces of the browser tests: a real `orvane serve --ephemeral` on a
// free loopback port (started in a temporary directory and stopped by its
// pid), a headless Chromium driven by playwright-core with a fresh profile,
// a watch on the page's console and requests, screenshots into the
// artifact directory, and a small check counter that prints the closing
// "N passed, N failed" line.
'use strict';

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const BINARY = process.env.ORVANE_BINARY;
const ARTIFACTS = process.env.ORVANE_WEB_ARTIFACTS || path.join(os.tmpdir(), 'halvex-web-artifacts');
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function healthy(port) {
  return new Promise((resolve) => {
    const request = http.get({ host: '127.0.0.1', port, path: '/v1/health', timeout: 500 }, (response) => {
      response.resume();
      resolve(response.statusCode === 200);
    });
    request.on('error', () => resolve(false));
    request.on('timeout', () => { request.destroy(); resolve(false); });
  });
}

// Starts the server with `args` after `serve --ephemeral --port N`; `env`
// adds environment variables; `fixedPort` reuses a port (to restart a
// stopped server where the page expects it). Resolves to {port, url, stop()}.
async function startServer(args = [], env = {}, fixedPort = 0) {
  if (!BINARY) throw new Error('ORVANE_BINARY is not set');
  const port = fixedPort || await freePort();
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'halvex-web-'));
  const child = spawn(BINARY, ['serve', '--ephemeral', '--port', String(port), '--no-bolt', ...args], {
    cwd, env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'],
  });
  let output = '';
  child.stdout.on('data', (chunk) => { output += chunk; });
  child.stderr.on('data', (chunk) => { output += chunk; });
  const exited = new Promise((resolve) => child.once('exit', resolve));
  for (let i = 0; i < 100; i++) {
    if (child.exitCode !== null) break;
    if (await healthy(port)) {
      return {
        port, url: `http://127.0.0.1:${port}`, output: () => output,
        stop: async () => {
          process.kill(child.pid, 'SIGTERM');
          const timer = setTimeout(() => process.kill(child.pid, 'SIGKILL'), 5000);
          await exited;
          clearTimeout(timer);
          fs.rmSync(cwd, { recursive: true, force: true });
        },
      };
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  if (child.exitCode === null) process.kill(child.pid, 'SIGKILL');
  throw new Error(`server did not start: ${output}`);
}

// A browser context on a fresh profile directory (playwright takes the
// profile as launchPersistentContext's first argument rather than as a
// --user-data-dir switch). Resolves to {context, close()}.
async function launchBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'halvex-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 1280, height: 800 },
    args: ['--headless', '--no-sandbox', '--disable-quic', '--no-first-run',
      // No GPU here: WebGL (the graph view) runs on SwiftShader, which Chromium
      // enables only when asked.
      '--use-angle=swiftshader', '--use-gl=angle', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    context,
    close: async () => {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Records console errors, page errors, failed requests and every request
// that leaves 127.0.0.1.
function watch(page) {
  const seen = { errors: [], foreign: [], dialogs: [] };
  page.on('console', (message) => {
    if (message.type() === 'error') seen.errors.push(`console: ${message.text()}`);
  });
  page.on('pageerror', (error) => seen.errors.push(`page: ${error.message}`));
  page.on('dialog', async (dialog) => {
    seen.dialogs.push(dialog.message());
    await dialog.dismiss();
  });
  page.on('request', (request) => {
    const url = new URL(request.url());
    if (!['127.0.0.1'].includes(url.hostname) && url.protocol !== 'data:') seen.foreign.push(request.url());
  });
  return seen;
}

async function screenshot(page, name) {
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  const file = path.join(ARTIFACTS, `${name}.png`);
  await page.screenshot({ path: file, fullPage: false });
  return file;
}

// A named list of checks; `check` never throws, so one failure does not
// hide the others. `finish` prints the closing line and sets the exit code.
function checklist() {
  let passed = 0;
  let failed = 0;
  return {
    async check(name, body) {
      try {
        await body();
        passed += 1;
        console.log(`ok   ${name}`);
      } catch (error) {
        failed += 1;
        console.log(`FAIL ${name}\n     ${String(error && error.stack || error).split('\n').slice(0, 4).join('\n     ')}`);
      }
    },
    finish() {
      console.log(`${passed} passed, ${failed} failed`);
      process.exitCode = failed === 0 && passed > 0 ? 0 : 1;
    },
  };
}

function expect(condition, message) {
  if (!condition) throw new Error(message);
}

module.exports = { startServer, launchBrowser, watch, screenshot, checklist, expect, ARTIFACTS };
