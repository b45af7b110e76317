// Neo4j's official JavaScript driver (neo4j-driver from the build's npm
// packages) against a real `orvane serve --ephemeral --people 50` with its
// Bolt listener on a free loopback port. The point is that an application
// written for Neo4j connects unchanged, so nothing here knows it is not
// talking to Neo4j: every check goes through the driver's public API (or,
// for a client that vanishes mid-stream, a hand-made Bolt socket), and
// where a check needs an expected answer it asks the same server over
// HTTP. The server runs with an API key, which the driver sends as its
// password, so refused and accepted credentials are both covered.
//
// This file owns the server, the check runner and the checks of
// connections (routing, credentials, dropped sockets, database names);
// driver_checks.js holds the statement checks. One line per check; the
// exit code is non-zero when any failed. No check measures time: the only
// clocks are guards that turn a hang into a failure.
'use strict';

const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const neo4j = require('neo4j-driver');
const statementChecks = require('./driver_checks.js');

const { DB, PEOPLE } = statementChecks;

const BINARY = process.env.ORVANE_BINARY && path.resolve(process.env.ORVANE_BINARY);
const API_KEY = 'bolt-driver-test-key-0123456789abcdef';
const BOLT_LINE = /bolt:\/\/127\.0\.0\.1:(\d+)/;
const STARTUP_GUARD_MS = 30000;
const CHECK_GUARD_MS = 30000;

// Two distinct free ports: both listeners are open at once so the system
// cannot hand out the same port twice.
async function freePorts(n) {
  const servers = [];
  try {
    for (let i = 0; i < n; i++) {
      const server = net.createServer();
      servers.push(server);
      await new Promise((resolve, reject) => {
        server.once('error', reject);
        server.listen(0, '127.0.0.1', resolve);
      });
    }
    return servers.map((s) => s.address().port);
  } finally {
    await Promise.all(servers.map((s) => new Promise((resolve) => s.close(resolve))));
  }
}

function request(port, method, route, body, key) {
  return new Promise((resolve, reject) => {
    const data = body === undefined ? '' : JSON.stringify(body);
    const headers = { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(data) };
    if (key) headers.Authorization = `Bearer ${key}`;
    const req = http.request({ host: '127.0.0.1', port, path: route, method, headers, timeout: 10000 }, (response) => {
      let text = '';
      response.setEncoding('utf8');
      response.on('data', (chunk) => { text += chunk; });
      response.on('end', () => resolve({ status: response.statusCode, text }));
    });
    req.on('error', reject);
    req.on('timeout', () => req.destroy(new Error(`${method} ${route}: no answer`)));
    req.end(data);
  });
}

// Starts the server in a temporary directory; resolves once its start lines
// name the Bolt port and its HTTP health route answers.
async function startServer(extraArgs, env) {
  if (!BINARY) throw new Error('ORVANE_BINARY is not set');
  const [httpPort, boltPort] = await freePorts(2);
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'halvex-bolt-'));
  const args = ['serve', '--ephemeral', '--port', String(httpPort), '--bolt-port', String(boltPort), ...extraArgs];
  const child = spawn(BINARY, args, { cwd, env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  let spawnFailed = false;
  child.stdout.on('data', (chunk) => { output += chunk; });
  child.stderr.on('data', (chunk) => { output += chunk; });
  const exited = new Promise((resolve) => {
    child.once('exit', (code, signal) => resolve({ code, signal }));
    child.once('error', (error) => { spawnFailed = true; output += `${error.message}\n`; resolve({ error: error.message }); });
  });
  const server = {
    child, httpPort, boltPort, output: () => output,
    alive: () => !spawnFailed && child.exitCode === null && child.signalCode === null,
    // SIGTERM, then SIGKILL if it has not gone after a while; resolves to
    // how it exited.
    stop: async () => {
      if (server.alive()) process.kill(child.pid, 'SIGTERM');
      const timer = setTimeout(() => { if (server.alive()) process.kill(child.pid, 'SIGKILL'); }, 10000);
      const how = await exited;
      clearTimeout(timer);
      fs.rmSync(cwd, { recursive: true, force: true });
      return how;
    },
  };
  const deadline = Date.now() + STARTUP_GUARD_MS;
  while (Date.now() < deadline && server.alive()) {
    const match = BOLT_LINE.exec(output);
    if (match) {
      const health = await request(httpPort, 'GET', '/v1/health').catch(() => null);
      if (health && health.status === 200) {
        if (Number(match[1]) !== boltPort) {
          await server.stop();
          throw new Error(`the start lines name Bolt port ${match[1]}, not the ${boltPort} asked for:\n${output}`);
        }
        return server;
      }
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  await server.stop();
  throw new Error(`the server did not start (${args.join(' ')}):\n${output}`);
}

function describe(error) {
  if (error instanceof neo4j.Neo4jError) return `Neo4jError ${error.code}: ${error.message}`;
  return error && error.message ? error.message : String(error);
}

// Runs each check under a guard, printing one line for it.
function checklist() {
  let passed = 0;
  let failed = 0;
  async function check(name, fn) {
    let timer;
    const guard = new Promise((_, reject) => {
      timer = setTimeout(() => reject(new Error(`no answer within ${CHECK_GUARD_MS / 1000} s`)), CHECK_GUARD_MS);
    });
    try {
      await Promise.race([fn(), guard]);
      passed++;
      console.log(`ok    ${name}`);
      return true;
    } catch (error) {
      failed++;
      console.log(`FAIL  ${name}\n        ${describe(error).split('\n').join('\n        ')}`);
      return false;
    } finally {
      clearTimeout(timer);
    }
  }
  return { check, summary: () => ({ passed, failed }) };
}

// The routing table the driver installed, from its own log line (the
// driver has no public accessor for it).
function routingTableFrom(messages) {
  const line = messages.filter((m) => m.includes('Updated routing table')).pop();
  if (!line) return null;
  const list = (name) => {
    const match = new RegExp(`${name}=\\[([^\\]]*)\\]`).exec(line);
    return match ? match[1].split(',').filter((s) => s.length > 0) : null;
  };
  return { line, routers: list('routers'), readers: list('readers'), writers: list('writers') };
}

async function connectionChecks(ctx, check) {
  const { server, auth } = ctx;
  const address = `127.0.0.1:${server.boltPort}`;

  await check('bolt:// verifyConnectivity and getServerInfo', async () => {
    await ctx.driver.verifyConnectivity();
    const info = await ctx.driver.getServerInfo();
    assert.equal(info.agent, 'Neo4j/5.26.0', `server agent: ${info.agent}`);
    assert.equal(info.address, address, `server address: ${info.address}`);
    assert.ok(info.protocolVersion && info.protocolVersion.major >= 5,
      `negotiated Bolt ${info.protocolVersion}, expected 5.x or later`);
    console.log(`        Bolt ${info.protocolVersion}, agent ${info.agent}`);
  });

  await check('neo4j:// routing: ROUTE names this one server as router, reader and writer', async () => {
    const messages = [];
    const logging = { level: 'info', logger: (_level, message) => messages.push(message) };
    const driver = neo4j.driver(`neo4j://${address}`, auth, { logging });
    try {
      await driver.verifyConnectivity();
      const info = await driver.getServerInfo();
      assert.equal(info.agent, 'Neo4j/5.26.0', `server agent over neo4j://: ${info.agent}`);
      for (const mode of [neo4j.session.WRITE, neo4j.session.READ]) {
        const session = driver.session({ defaultAccessMode: mode });
        try {
          const result = await session.run('RETURN 1 AS one');
          assert.equal(result.records[0].get('one').toNumber(), 1, `RETURN 1 in ${mode} mode`);
        } finally {
          await session.close();
        }
      }
      const table = routingTableFrom(messages);
      assert.ok(table, `the driver logged no routing table; its log:\n${messages.join('\n')}`);
      for (const role of ['routers', 'readers', 'writers']) {
        assert.deepEqual(table[role], [address], `${role} in ${table.line}`);
      }
    } finally {
      await driver.close();
    }
  });

  await check('a wrong password is refused with Neo.ClientError.Security.Unauthorized', async () => {
    const driver = neo4j.driver(ctx.url, neo4j.auth.basic('halvex', 'not-the-key'));
    try {
      await assert.rejects(driver.verifyConnectivity(), (error) => {
        assert.ok(error instanceof neo4j.Neo4jError, `raised ${describe(error)}`);
        assert.equal(error.code, 'Neo.ClientError.Security.Unauthorized', `raised ${describe(error)}`);
        return true;
      }, 'verifyConnectivity with a wrong password succeeded');
    } finally {
      await driver.close();
    }
  });

  await check('the right password is accepted under any user name', async () => {
    const driver = neo4j.driver(ctx.url, neo4j.auth.basic('someone-else', API_KEY));
    try {
      await driver.verifyConnectivity();
      const result = await driver.executeQuery('RETURN $x AS x', { x: 'accepted' });
      assert.equal(result.records[0].get('x'), 'accepted');
    } finally {
      await driver.close();
    }
  });
}

// A PackStream encoding of the few value kinds the hand-made client sends.
function pack(v) {
  if (v === null) return Buffer.from([0xc0]);
  if (typeof v === 'number' && Number.isInteger(v)) {
    if (v >= -16 && v < 128) return Buffer.from([v & 0xff]);
    const b = Buffer.alloc(9); b[0] = 0xcb; b.writeBigInt64BE(BigInt(v), 1); return b;
  }
  if (typeof v === 'string') {
    const s = Buffer.from(v, 'utf8');
    const head = s.length < 16 ? [0x80 | s.length] : s.length < 256 ? [0xd0, s.length] : [0xd1, s.length >> 8, s.length & 0xff];
    return Buffer.concat([Buffer.from(head), s]);
  }
  const entries = Object.entries(v);
  return Buffer.concat([Buffer.from([0xa0 | entries.length]), ...entries.flatMap(([k, x]) => [pack(k), pack(x)])]);
}
function message(signature, ...fields) {
  const body = Buffer.concat([Buffer.from([0xb0 | fields.length, signature]), ...fields.map(pack)]);
  const head = Buffer.alloc(2); head.writeUInt16BE(body.length);
  return Buffer.concat([head, body, Buffer.from([0, 0])]);
}
const printable = (buffer) => buffer.toString('latin1').replace(/[^\x20-\x7e]+/g, '·').slice(0, 400);

// Opens a socket, negotiates 5.x, logs on and pulls a large result, then
// destroys the socket once `bytes` of the answer have arrived.
function dropMidStream(ctx, bytes) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(ctx.server.boltPort, '127.0.0.1');
    const fail = (error) => { socket.destroy(); reject(error); };
    let received = Buffer.alloc(0);
    let sent = false;
    socket.on('connect', () => socket.write(Buffer.from([0x60, 0x60, 0xb0, 0x17, 0, 8, 8, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0])));
    socket.on('data', (chunk) => {
      received = Buffer.concat([received, chunk]);
      if (!sent && received.length >= 4) {
        if (received[3] !== 5) return fail(new Error(`the handshake chose ${received[3]}.${received[2]}, not 5.x`));
        sent = true;
        received = received.subarray(4);
        socket.write(Buffer.concat([
          message(0x01, { user_agent: 'halvex-drop-test/1', bolt_agent: { product: 'halvex-drop-test/1' } }),
          message(0x6a, { scheme: 'basic', principal: 'halvex', credentials: ctx.apiKey }),
          message(0x10, 'UNWIND range(1, 1000000) AS i RETURN i', {}, { db: DB }),
          message(0x3f, { n: -1 }),
        ]));
      } else if (sent && received.length >= bytes) {
        socket.destroy();
        resolve();
      }
    });
    socket.on('error', fail);
    socket.on('close', () => fail(new Error(`the server closed the socket after ${received.length} bytes: ${printable(received)}`)));
  });
}

async function disconnectChecks(ctx, check) {
  const returnsOne = async (what) => {
    const driver = neo4j.driver(ctx.url, ctx.auth);
    try {
      const result = await driver.executeQuery('RETURN 1 AS one', {}, { database: DB });
      assert.equal(result.records[0].get('one').toNumber(), 1, `RETURN 1 ${what}`);
    } finally {
      await driver.close();
    }
  };
  await check('a driver closed with a large result unconsumed; a new driver then works', async () => {
    const driver = neo4j.driver(ctx.url, ctx.auth);
    try {
      const session = driver.session({ database: DB, fetchSize: 1000 });
      const records = session.run('UNWIND range(1, 1000000) AS i RETURN i')[Symbol.asyncIterator]();
      const first = await records.next();
      assert.ok(!first.done && first.value.get('i').toNumber() === 1, `first record: ${JSON.stringify(first.value)}`);
    } finally {
      // Closed without consuming or closing the session: the driver drops
      // its connection with the rest of the result still pending.
      await driver.close();
    }
    await returnsOne('after the driver closed mid-result');
  });
  await check('a socket dropped mid-stream and one dropped mid-handshake; a new driver then works', async () => {
    await dropMidStream(ctx, 256 * 1024);
    await new Promise((resolve) => {
      const half = net.connect(ctx.server.boltPort, '127.0.0.1', () => half.end(Buffer.from([0x60, 0x60, 0xb0])));
      half.on('close', resolve);
      half.on('error', resolve);
    });
    await returnsOne('after the dropped sockets');
    assert.ok(ctx.server.alive(), 'the server exited');
  });
}

async function databaseChecks(ctx, check) {
  await check(`database '${DB}' selected by name`, async () => {
    const session = ctx.driver.session({ database: DB });
    try {
      const result = await session.run('MATCH (p:Person) RETURN count(p) AS c');
      assert.equal(result.records[0].get('c').toNumber(), PEOPLE, 'Person count');
      assert.equal(result.summary.database.name, DB, 'the summary names the database');
    } finally {
      await session.close();
    }
  });
  await check('an unknown database raises Neo.ClientError.Database.DatabaseNotFound', async () => {
    const session = ctx.driver.session({ database: 'no-such-database' });
    try {
      await assert.rejects(session.run('RETURN 1'), (error) => {
        assert.ok(error instanceof neo4j.Neo4jError, `raised ${describe(error)}`);
        assert.equal(error.code, 'Neo.ClientError.Database.DatabaseNotFound', `raised ${describe(error)}`);
        return true;
      }, 'RETURN 1 on an unknown database succeeded');
    } finally {
      await session.close();
    }
  });
}

async function main() {
  const { check, summary } = checklist();
  let server = null;
  let driver = null;
  try {
    server = await startServer(['--people', '50'], { ORVANE_API_KEY: API_KEY });
    const url = `bolt://127.0.0.1:${server.boltPort}`;
    const auth = neo4j.auth.basic('halvex', API_KEY);
    driver = neo4j.driver(url, auth);
    const ctx = {
      server, url, auth, driver, apiKey: API_KEY, describe,
      // One statement over HTTP, for the expected answer of a Bolt one.
      http: async (query, params, db) => {
        const answer = await request(server.httpPort, 'POST', '/v1/query', { query, params: params || {}, db }, API_KEY);
        if (answer.status !== 200) throw new Error(`HTTP ${answer.status} for ${query}: ${answer.text}`);
        return JSON.parse(answer.text);
      },
    };
    await connectionChecks(ctx, check);
    await statementChecks.run(ctx, check);
    await disconnectChecks(ctx, check);
    await databaseChecks(ctx, check);
    await check('the server is still running after every check', async () => {
      assert.ok(server.alive(), `the server exited:\n${server.output()}`);
      const health = await request(server.httpPort, 'GET', '/v1/health');
      assert.equal(health.status, 200, `health answered ${health.status}`);
    });
  } catch (error) {
    console.log(`FAIL  setup\n        ${describe(error).split('\n').join('\n        ')}`);
    process.exitCode = 1;
  } finally {
    if (driver) await driver.close().catch(() => {});
    if (server) {
      const wasAlive = server.alive();
      await check('SIGTERM stops the server with exit code 0', async () => {
        const how = await server.stop();
        assert.ok(wasAlive, 'the server had already exited');
        assert.deepEqual(how, { code: 0, signal: null }, `the server exited with ${JSON.stringify(how)}:\n${server.output()}`);
      });
    }
  }
  const { passed, failed } = summary();
  console.log(`${passed} passed, ${failed} failed`);
  if (failed > 0) process.exitCode = 1;
  // Work a failed check abandoned (a guard that fired) must not keep the
  // process alive.
  process.exit(process.exitCode || 0);
}

main();
