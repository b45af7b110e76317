// The client side of bench-bolt.sh: Neo4j's JavaScript driver against a
// running `orvane serve` (Bolt and HTTP ports on 127.0.0.1), and against
// bolt_replay_server.js, a Bolt server that answers with bytes it has
// ready. Three figures:
//   1. round trip of `RETURN 1`: one session, one `session.run` after
//      another, ITERATIONS times; then the same statement as POST /v1/query
//      on one kept-alive HTTP connection, the answer read and parsed as an
//      application would. p50 and p99 of each, and Bolt's p50 over HTTP's.
//      The same driver loop against the replay server, which answers
//      `RETURN 1` with bytes it recorded from ours, is the floor the driver
//      itself sets: what is left above it is our server's.
//   2. the same for a one-hop count from a person chosen by id, the ids
//      drawn from a fixed sequence so both protocols ask the same things.
//      Both are checked to give the same counts before anything is timed.
//   3. rows per second of `UNWIND range(1, ROWS) AS i RETURN i` read with
//      `for await` (the driver's fetch size, 1000), from run to the last
//      record, best of 3, taken in turns with the replay server so that
//      noise on this machine falls on both alike; the ratio is the share of
//      the driver's own ceiling that our server reaches.
// Prints a table. Not meant to be run by hand without a server: see
// scripts/bench-bolt.sh, which starts both servers and passes
//
//   HTTP_PORT BOLT_PORT REPLAY_PORT PERSONS ITERATIONS ROWS
//
// in the environment.
'use strict';

const http = require('node:http');
const neo4j = require('neo4j-driver');

const env = (name, fallback) => (process.env[name] === undefined || process.env[name] === '' ? fallback : process.env[name]);
const HTTP_PORT = Number(env('HTTP_PORT', '7474'));
const BOLT_PORT = Number(env('BOLT_PORT', '7687'));
const REPLAY_PORT = Number(env('REPLAY_PORT', '0'));
const PERSONS = Number(env('PERSONS', '1000000'));
const ITERATIONS = Number(env('ITERATIONS', '2000'));
const ROWS = Number(env('ROWS', '1000000'));
// Every loop runs this many times untimed before any is timed. With 500
// each, the first timed pass of every loop was still some 10% slower at
// the median and several times slower at p99 than a second pass, the
// replay server's too, so the client (V8 compiling the driver's paths,
// the heap finding its size) was not yet settled.
const WARMUP = Math.max(1000, ITERATIONS);

const RETURN_ONE = 'RETURN 1';
const ONE_HOP = 'MATCH (a:Person)-[:FOLLOWS]->(b) WHERE id(a) = $id RETURN count(b)';
const STREAM = `UNWIND range(1, ${ROWS}) AS i RETURN i`;

const agent = new http.Agent({ keepAlive: true, maxSockets: 1 });

function post(body) {
  const data = JSON.stringify(body);
  return new Promise((resolve, reject) => {
    const req = http.request({
      host: '127.0.0.1', port: HTTP_PORT, path: '/v1/query', method: 'POST', agent,
      headers: { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(data) },
    }, (response) => {
      let text = '';
      response.setEncoding('utf8');
      response.on('data', (chunk) => { text += chunk; });
      response.on('end', () => {
        let answer;
        try { answer = JSON.parse(text); } catch { return reject(new Error(`HTTP ${response.statusCode}: ${text.slice(0, 200)}`)); }
        if (response.statusCode !== 200 || answer.ok === false) {
          return reject(new Error(`HTTP ${response.statusCode} for ${body.query}: ${answer.error || text.slice(0, 200)}`));
        }
        resolve(answer);
      });
    });
    req.on('error', reject);
    req.end(data);
  });
}

// A fixed pseudo-random sequence of person ids (the demonstration graph
// numbers its persons 0..PERSONS-1), so that every run and both protocols
// ask for the same people, most of them out of any cache.
function ids(n) {
  let x = 0x2545f491;
  return Array.from({ length: n }, () => {
    x = (Math.imul(x, 1103515245) + 12345) >>> 0;
    return x % PERSONS;
  });
}

const percentile = (sorted, p) => sorted[Math.min(sorted.length - 1, Math.floor(p * (sorted.length - 1)))];

// Times `once(i)` for i in first..first+count-1; p50 and p99 in
// microseconds. The warm-up runs through here too, so that the loop being
// timed is the one V8 has already compiled.
async function latency(once, first = WARMUP, count = ITERATIONS) {
  const times = new Float64Array(count);
  for (let i = 0; i < count; i++) {
    const t = process.hrtime.bigint();
    await once(first + i);
    times[i] = Number(process.hrtime.bigint() - t) / 1000;
  }
  times.sort();
  return { p50: percentile(times, 0.5), p99: percentile(times, 0.99) };
}

// From run to the last record of one whole stream; rows per second.
async function streamRate(driver) {
  const session = driver.session();
  try {
    let count = 0;
    const t = process.hrtime.bigint();
    for await (const record of session.run(STREAM)) {
      if (record.length !== 1) throw new Error('a row without one value');
      count++;
    }
    const seconds = Number(process.hrtime.bigint() - t) / 1e9;
    if (count !== ROWS) throw new Error(`the stream ended after ${count} rows, not ${ROWS}`);
    return ROWS / seconds;
  } finally {
    await session.close();
  }
}

function row(cells, widths) {
  return cells.map((c, i) => (i === 0 ? String(c).padEnd(widths[i]) : String(c).padStart(widths[i]))).join('  ');
}

async function main() {
  // No credentials are configured on the benchmark's server, so any are
  // taken; the driver is otherwise as an application would start it.
  const ours = neo4j.driver(`bolt://127.0.0.1:${BOLT_PORT}`, neo4j.auth.basic('neo4j', 'bench'));
  const replay = REPLAY_PORT ? neo4j.driver(`bolt://127.0.0.1:${REPLAY_PORT}`, neo4j.auth.basic('neo4j', 'bench')) : null;
  try {
    const info = await ours.getServerInfo();
    const session = ours.session();
    const people = ids(WARMUP + ITERATIONS);

    // Both protocols must answer the one-hop count, and alike, before
    // either is timed.
    for (const id of people.slice(0, 20)) {
      const bolt = (await session.run(ONE_HOP, { id: neo4j.int(id) })).records[0].get(0).toNumber();
      const overHttp = (await post({ query: ONE_HOP, params: { id } })).data.rows[0][0];
      if (bolt !== overHttp) throw new Error(`person ${id}: Bolt counts ${bolt}, HTTP ${overHttp}`);
    }

    const floorSession = replay ? replay.session() : null;
    const loops = {
      boltOne: () => session.run(RETURN_ONE),
      httpOne: () => post({ query: RETURN_ONE }),
      boltHop: (i) => session.run(ONE_HOP, { id: neo4j.int(people[i]) }),
      httpHop: (i) => post({ query: ONE_HOP, params: { id: people[i] } }),
      floorOne: replay ? () => floorSession.run(RETURN_ONE) : null,
    };
    for (const once of Object.values(loops)) if (once) await latency(once, 0, WARMUP);
    const timed = {};
    for (const [name, once] of Object.entries(loops)) if (once) timed[name] = await latency(once);
    const { boltOne, httpOne, boltHop, httpHop, floorOne } = timed;
    await session.close();
    if (floorSession) await floorSession.close();

    const oursRates = [];
    const replayRates = [];
    for (let round = 0; round < 3; round++) {
      oursRates.push(await streamRate(ours));
      if (replay) replayRates.push(await streamRate(replay));
    }
    const oursBest = Math.max(...oursRates);
    const replayBest = replay ? Math.max(...replayRates) : NaN;

    const us = (v) => `${v.toFixed(0)} µs`;
    const rate = (v) => `${Math.round(v).toLocaleString('en-US')} rows/s`;
    const w = [34, 12, 12, 22];
    console.log(`Bolt benchmark: ${PERSONS.toLocaleString('en-US')} persons, ${ITERATIONS} iterations after ${WARMUP} ` +
      `warm-up, ${ROWS.toLocaleString('en-US')}-row stream, neo4j-driver ${require('neo4j-driver/package.json').version}` +
      ` over Bolt ${info.protocolVersion}`);
    console.log();
    console.log(row(['round trip', 'p50', 'p99', 'Bolt p50 / HTTP p50'], w));
    console.log(row(['RETURN 1, Bolt', us(boltOne.p50), us(boltOne.p99), ''], w));
    console.log(row(['RETURN 1, HTTP', us(httpOne.p50), us(httpOne.p99), (boltOne.p50 / httpOne.p50).toFixed(2)], w));
    if (floorOne) console.log(row(['RETURN 1, Bolt, replay server', us(floorOne.p50), us(floorOne.p99), ''], w));
    console.log(row(['one-hop count, Bolt', us(boltHop.p50), us(boltHop.p99), ''], w));
    console.log(row(['one-hop count, HTTP', us(httpHop.p50), us(httpHop.p99), (boltHop.p50 / httpHop.p50).toFixed(2)], w));
    console.log();
    const v = [34, 20, 40];
    console.log(row(['stream (best of 3)', 'rate', 'all three'], v));
    console.log(row(['orvane over Bolt', rate(oursBest), oursRates.map((r) => Math.round(r)).join(', ')], v));
    if (replay) {
      console.log(row(['replay server', rate(replayBest), replayRates.map((r) => Math.round(r)).join(', ')], v));
      console.log(row(['orvane / replay', `${(100 * oursBest / replayBest).toFixed(0)}%`, ''], v));
    }
  } finally {
    agent.destroy();
    await ours.close();
    if (replay) await replay.close();
  }
}

main().catch((error) => {
  console.error(`bench_bolt: ${error.message}`);
  process.exit(1);
});
