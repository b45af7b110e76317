// The statement checks of the driver test (driver_test.js owns the server,
// the runner and the connection checks): parameters of every Bolt value
// type echoed back, graph values compared with the HTTP answer for the
// same statement, explicit and managed transactions, large results pulled
// in batches and streamed, and errors.
//
// Values are compared through canon(), a tagged form in which an integer
// and a float of the same number differ, and temporal and spatial values
// are compared field by field, so a value that comes back as a neighbouring
// type fails rather than passing by loose equality.
'use strict';

const assert = require('node:assert/strict');
const neo4j = require('neo4j-driver');

const { int } = neo4j;
const T = neo4j.types;
const DB = 'orvane';
const PEOPLE = 50;

function canon(v) {
  if (v === null || v === undefined) return null;
  if (neo4j.isInt(v)) return { int: v.toString() };
  if (typeof v === 'number') return { float: Object.is(v, -0) ? '-0' : String(v) };
  if (typeof v === 'string' || typeof v === 'boolean') return v;
  if (typeof v === 'bigint') return { bigint: v.toString() };
  if (ArrayBuffer.isView(v)) return { [v.constructor.name]: Array.from(v) };
  if (Array.isArray(v)) return v.map(canon);
  if (neo4j.isPoint(v)) return { Point: [String(v.srid), v.x, v.y, v.z === undefined ? null : v.z] };
  const temporal = [neo4j.isDuration, neo4j.isDate, neo4j.isLocalTime, neo4j.isTime, neo4j.isLocalDateTime, neo4j.isDateTime];
  if (temporal.some((is) => is(v))) {
    const fields = {};
    for (const key of Object.keys(v).sort()) fields[key] = v[key] == null ? null : String(v[key]);
    return { [v.constructor.name]: fields };
  }
  if (Object.getPrototypeOf(v) === Object.prototype) {
    const out = {};
    for (const key of Object.keys(v).sort()) out[key] = canon(v[key]);
    return { map: out };
  }
  return { [v.constructor ? v.constructor.name : 'object']: String(v) };
}

function show(v) {
  const text = JSON.stringify(canon(v));
  return text.length > 300 ? `${text.slice(0, 300)}…` : text;
}

// [name, value sent, value expected back (the sent one when absent)].
function valueTable() {
  const stockholmWinter = new T.DateTime(2024, 1, 15, 8, 0, 0, 0, undefined, 'Europe/Stockholm');
  const rows = [
    ['null', null],
    ['boolean true', true],
    ['boolean false', false],
    ['integer 0', int(0)],
    ['integer -16', int(-16)],
    ['integer -17', int(-17)],
    ['integer 127', int(127)],
    ['integer 128', int(128)],
    ['integer -129', int(-129)],
    ['integer 32768', int(32768)],
    ['integer 2^31', int(2147483648)],
    ['integer -2^31 - 1', int(-2147483649)],
    ['integer 2^53 + 1', int('9007199254740993')],
    ['integer int64 max', int('9223372036854775807')],
    ['integer int64 min', int('-9223372036854775808')],
    ['float pi', Math.PI],
    ['float from a whole JS number', 5],
    ['float -1.5e-300', -1.5e-300],
    ['float 1.7976931348623157e308', Number.MAX_VALUE],
    ['float -0.0', -0],
    ['string empty', ''],
    ['string unicode', 'Grüße, 世界 — naïve café 🌍 \t\n"quoted" \\ end'],
    ['string with a NUL character', 'before\u0000after'],
    ['string of 70,000 characters', 'ab'.repeat(35000)],
    ['list empty', []],
    ['list mixed and nested', [int(1), 'two', 3.5, null, true, [int(4), []]]],
    ['list of 1,000 integers', Array.from({ length: 1000 }, (_, i) => int(i - 500))],
    ['map empty', {}],
    ['map nested', {
      name: 'Ada', born: int(1815), tags: ['math', 'poetry'],
      address: { city: 'London', geo: { lat: 51.5, lon: -0.12 } }, 'key with spaces & ünïcode': null,
    }],
    ['bytes', Int8Array.from([0, 1, 127, -128, -1])],
    ['bytes empty', new Int8Array(0)],
    ['bytes 300 long', Int8Array.from({ length: 300 }, (_, i) => (i % 256) - 128)],
    ['Date', new T.Date(2024, 2, 29)],
    ['Date before 1970', new T.Date(1969, 7, 20)],
    ['LocalTime', new T.LocalTime(23, 59, 59, 999999999)],
    ['Time with offset -05:00', new T.Time(9, 30, 15, 5, -18000)],
    ['LocalDateTime', new T.LocalDateTime(1999, 12, 31, 23, 59, 59, 1)],
    ['DateTime with offset +05:30', new T.DateTime(2024, 3, 31, 1, 30, 0, 0, 19800)],
    ['DateTime in Europe/Stockholm (summer, offset given)',
      new T.DateTime(2024, 7, 15, 12, 30, 45, 123456789, 7200, 'Europe/Stockholm')],
    ['DateTime in Europe/Stockholm (winter, zone id only)', stockholmWinter,
      new T.DateTime(2024, 1, 15, 8, 0, 0, 0, 3600, 'Europe/Stockholm')],
    ['Duration', new T.Duration(14, 3, 3723, 500)],
    ['Duration negative', new T.Duration(-1, -2, -3, -4)],
    ['Point 2D cartesian (7203)', new T.Point(7203, 1.5, -2.25)],
    ['Point 2D WGS-84 (4326)', new T.Point(4326, 18.0686, 59.3293)],
    ['Point 3D cartesian (9157)', new T.Point(9157, 1, 2, 3)],
    ['Point 3D WGS-84 (4979)', new T.Point(4979, 18.0686, 59.3293, 28.5)],
  ];
  const all = {};
  for (const [name, value, expected] of rows) if (expected === undefined) all[name] = value;
  rows.push(['every type together in one map', all]);
  rows.push(['every type together in one list', Object.values(all)]);
  return rows;
}

async function valueChecks(ctx, check) {
  const session = ctx.driver.session({ database: DB });
  try {
    for (const [name, sent, expected = sent] of valueTable()) {
      await check(`value ${name}`, async () => {
        const result = await session.run('RETURN $p AS v', { p: sent });
        assert.equal(result.records.length, 1, `${result.records.length} records`);
        const got = result.records[0].get('v');
        assert.deepEqual(canon(got), canon(expected), `sent ${show(sent)}\n        got  ${show(got)}`);
      });
    }
  } finally {
    await session.close();
  }
}

const plain = (v) => JSON.parse(JSON.stringify(v, (_k, x) => (neo4j.isInt(x) ? x.toNumber() : x)));
const sorted = (list) => [...list].sort();

function driverNode(n) {
  assert.ok(neo4j.isNode(n), `not a Node: ${show(n)}`);
  assert.equal(n.elementId, `4:halvex:${n.identity}`, `node elementId ${n.elementId} for identity ${n.identity}`);
  return { id: n.identity.toNumber(), elementId: n.elementId, labels: sorted(n.labels), properties: plain(n.properties) };
}
function driverRel(r) {
  assert.ok(neo4j.isRelationship(r), `not a Relationship: ${show(r)}`);
  assert.equal(r.elementId, `5:halvex:${r.identity}`, `relationship elementId ${r.elementId} for identity ${r.identity}`);
  return {
    id: r.identity.toNumber(), elementId: r.elementId, type: r.type, start: r.start.toNumber(), end: r.end.toNumber(),
    startNodeElementId: r.startNodeElementId, endNodeElementId: r.endNodeElementId, properties: plain(r.properties),
  };
}
function driverPath(p) {
  assert.ok(neo4j.isPath(p), `not a Path: ${show(p)}`);
  const nodes = p.segments.length === 0 ? [p.start] : [p.segments[0].start, ...p.segments.map((s) => s.end)];
  assert.equal(p.length, p.segments.length, 'path length');
  return { nodes: nodes.map(driverNode), relationships: p.segments.map((s) => driverRel(s.relationship)) };
}
const httpNode = (n) => ({ id: n.id, elementId: n.elementId, labels: sorted(n.labels), properties: n.properties });
const httpRel = (r) => ({
  id: r.id, elementId: r.elementId, type: r.type, start: r.start, end: r.end,
  startNodeElementId: `4:halvex:${r.start}`, endNodeElementId: `4:halvex:${r.end}`, properties: r.properties,
});
const httpPath = (p) => ({ nodes: p.nodes.map(httpNode), relationships: p.relationships.map(httpRel) });

async function graphChecks(ctx, check) {
  await check('nodes, relationships and paths match the HTTP answer', async () => {
    const statement = 'MATCH p=(a:Person)-[r:FOLLOWS]->(b) RETURN a, r, b, p ORDER BY id(r) LIMIT 5';
    const expected = await ctx.http(statement, {}, DB);
    assert.ok(expected.ok, `HTTP refused the statement: ${JSON.stringify(expected)}`);
    const session = ctx.driver.session({ database: DB });
    try {
      const result = await session.run(statement);
      assert.equal(result.records.length, expected.data.rows.length, 'row count');
      assert.ok(result.records.length > 0, 'no rows');
      assert.deepEqual(result.records[0].keys, expected.data.columns, 'columns');
      result.records.forEach((record, i) => {
        const row = expected.data.rows[i];
        const got = { a: driverNode(record.get('a')), r: driverRel(record.get('r')), b: driverNode(record.get('b')), p: driverPath(record.get('p')) };
        const want = { a: httpNode(row[0]), r: httpRel(row[1]), b: httpNode(row[2]), p: httpPath(row[3]) };
        assert.deepEqual(got, want, `row ${i}`);
        assert.deepEqual(got.p.nodes, [got.a, got.b], `row ${i}: the path does not run from a to b`);
        assert.equal(got.r.startNodeElementId, got.a.elementId, `row ${i}: r does not start at a`);
      });
    } finally {
      await session.close();
    }
  });
}

async function countTagged(ctx, tag) {
  const session = ctx.driver.session({ database: DB });
  try {
    const result = await session.run('MATCH (n:BoltProbe {tag: $tag}) RETURN count(n) AS c', { tag });
    return result.records[0].get('c').toNumber();
  } finally {
    await session.close();
  }
}

async function transactionChecks(ctx, check) {
  const tag = `committed-${process.pid}`;
  const session = ctx.driver.session({ database: DB });
  let tx = null;
  try {
    await check('explicit transaction: its write is seen inside it but not from another session', async () => {
      tx = session.beginTransaction();
      const created = await tx.run('CREATE (n:BoltProbe {tag: $tag}) RETURN n.tag AS tag', { tag });
      assert.equal(created.records[0].get('tag'), tag);
      assert.equal(created.summary.counters.updates().nodesCreated, 1, 'nodesCreated in the summary');
      const inside = await tx.run('MATCH (n:BoltProbe {tag: $tag}) RETURN count(n) AS c', { tag });
      assert.equal(inside.records[0].get('c').toNumber(), 1, 'count inside the transaction');
      assert.equal(await countTagged(ctx, tag), 0, 'another session sees the uncommitted node');
    });
    await check('explicit transaction: commit makes the write visible to another session', async () => {
      assert.ok(tx, 'no transaction was begun');
      await tx.commit();
      assert.equal(await countTagged(ctx, tag), 1, 'count from another session after commit');
    });
  } finally {
    if (tx && tx.isOpen()) await tx.rollback().catch(() => {});
    await session.close();
  }

  await check('explicit transaction: rollback leaves nothing behind', async () => {
    const rolled = `rolled-back-${process.pid}`;
    const s = ctx.driver.session({ database: DB });
    try {
      const t = s.beginTransaction();
      await t.run('CREATE (:BoltProbe {tag: $tag})', { tag: rolled });
      await t.rollback();
      assert.equal(await countTagged(ctx, rolled), 0, 'count after rollback');
      const again = await s.run('RETURN 2 AS two');
      assert.equal(again.records[0].get('two').toNumber(), 2, 'the session after a rollback');
    } finally {
      await s.close();
    }
  });

  await check('managed transactions: executeWrite then executeRead', async () => {
    const managed = `managed-${process.pid}`;
    const s = ctx.driver.session({ database: DB });
    try {
      const n = await s.executeWrite(async (t) => {
        const r = await t.run('CREATE (n:BoltProbe {tag: $tag, n: $n}) RETURN n.n AS n', { tag: managed, n: int(7) });
        return r.records[0].get('n');
      });
      assert.equal(canon(n).int, '7', `executeWrite returned ${show(n)}`);
      const seen = await s.executeRead(async (t) => {
        const r = await t.run('MATCH (n:BoltProbe {tag: $tag}) RETURN n.n AS n', { tag: managed });
        const people = await t.run('MATCH (p:Person) RETURN count(p) AS c');
        return [r.records.map((rec) => rec.get('n').toNumber()), people.records[0].get('c').toNumber()];
      });
      assert.deepEqual(seen, [[7], PEOPLE], 'executeRead answers');
    } finally {
      await s.close();
    }
  });

  await check('managed transactions: a transient failure is retried and its first attempt rolled back', async () => {
    const retried = `retried-${process.pid}`;
    const s = ctx.driver.session({ database: DB });
    let attempts = 0;
    try {
      await s.executeWrite(async (t) => {
        attempts++;
        await t.run('CREATE (:BoltProbe {tag: $tag})', { tag: retried });
        if (attempts === 1) throw new neo4j.Neo4jError('simulated deadlock', 'Neo.TransientError.Transaction.DeadlockDetected');
      });
      assert.equal(attempts, 2, 'attempts');
      assert.equal(await countTagged(ctx, retried), 1, 'nodes left by two attempts of which the first was rolled back');
    } finally {
      await s.close();
    }
  });
}

const ROWS = 100000;
const ROWS_STATEMENT = `UNWIND range(1, ${ROWS}) AS i RETURN i`;
const ROWS_SUM = (ROWS * (ROWS + 1)) / 2;

// Checks the rows arrive complete and in order.
function tally() {
  let count = 0;
  let sum = 0;
  return {
    add(record) {
      const i = record.get('i');
      assert.ok(neo4j.isInt(i), `row ${count + 1} is ${show(i)}, not an integer`);
      count++;
      if (i.toNumber() !== count) throw new Error(`row ${count} is ${i}`);
      sum += i.toNumber();
    },
    verify() {
      assert.equal(count, ROWS, 'row count');
      assert.equal(sum, ROWS_SUM, 'sum of the rows');
    },
  };
}

async function streamingChecks(ctx, check) {
  await check(`${ROWS} rows pulled in batches of 1,000 (for await)`, async () => {
    const messages = [];
    const driver = neo4j.driver(ctx.url, ctx.auth, {
      logging: { level: 'debug', logger: (_l, m) => { if (!m.includes('RECORD')) messages.push(m); } },
    });
    const session = driver.session({ database: DB, fetchSize: 1000 });
    try {
      const rows = tally();
      for await (const record of session.run(ROWS_STATEMENT)) rows.add(record);
      rows.verify();
      const pulls = messages.filter((m) => m.includes('C: PULL')).length;
      const more = messages.filter((m) => /S: SUCCESS .*"has_more":true/.test(m)).length;
      assert.ok(pulls >= ROWS / 1000 && more >= ROWS / 1000 - 1,
        `${pulls} PULL messages and ${more} answers with has_more for ${ROWS} rows`);
    } finally {
      await session.close();
      await driver.close();
    }
  });

  await check(`${ROWS} rows with fetchSize -1 (all in one pull)`, async () => {
    const session = ctx.driver.session({ database: DB, fetchSize: -1 });
    try {
      const result = await session.run(ROWS_STATEMENT);
      const rows = tally();
      result.records.forEach((record) => rows.add(record));
      rows.verify();
    } finally {
      await session.close();
    }
  });

  await check(`${ROWS} rows through result.subscribe`, async () => {
    const session = ctx.driver.session({ database: DB });
    try {
      const rows = tally();
      const { keys, summary } = await new Promise((resolve, reject) => {
        let keys = null;
        session.run(ROWS_STATEMENT).subscribe({
          onKeys: (k) => { keys = k; },
          onNext: (record) => { try { rows.add(record); } catch (e) { reject(e); } },
          onCompleted: (summary) => resolve({ keys, summary }),
          onError: reject,
        });
      });
      assert.deepEqual(keys, ['i'], 'keys');
      assert.equal(summary.database.name, DB, 'summary database');
      rows.verify();
    } finally {
      await session.close();
    }
  });

  await check('reactive session: records observable', async () => {
    const rx = ctx.driver.rxSession({ database: DB });
    try {
      const values = await new Promise((resolve, reject) => {
        const seen = [];
        rx.run('UNWIND range(1, 5000) AS i RETURN i').records().subscribe({
          next: (record) => seen.push(record.get('i').toNumber()),
          complete: () => resolve(seen),
          error: reject,
        });
      });
      assert.equal(values.length, 5000, 'record count');
      assert.ok(values.every((v, i) => v === i + 1), 'records out of order');
    } finally {
      await new Promise((resolve) => rx.close().subscribe({ complete: resolve, error: resolve }));
    }
  });
}

async function errorChecks(ctx, check) {
  const expectCode = (code) => (error) => {
    assert.ok(error instanceof neo4j.Neo4jError, `raised ${ctx.describe(error)}`);
    assert.equal(error.code, code, `raised ${ctx.describe(error)}`);
    return true;
  };
  await check('a syntax error raises Neo.ClientError.Statement.SyntaxError; the session still works', async () => {
    const session = ctx.driver.session({ database: DB });
    try {
      await assert.rejects(session.run('RETURN 1 +'), expectCode('Neo.ClientError.Statement.SyntaxError'),
        'RETURN 1 + was accepted');
      const after = await session.run('RETURN 1 AS one');
      assert.equal(after.records[0].get('one').toNumber(), 1, 'RETURN 1 after the error');
    } finally {
      await session.close();
    }
  });

  await check('a syntax error in an explicit transaction fails it; a new one then commits', async () => {
    const session = ctx.driver.session({ database: DB });
    const tag = `after-error-${process.pid}`;
    try {
      const failed = session.beginTransaction();
      await assert.rejects(failed.run('RETURN 1 +'), expectCode('Neo.ClientError.Statement.SyntaxError'));
      await failed.close();
      const tx = session.beginTransaction();
      await tx.run('CREATE (:BoltProbe {tag: $tag})', { tag });
      await tx.commit();
      assert.equal(await countTagged(ctx, tag), 1, 'the second transaction did not commit');
    } finally {
      await session.close();
    }
  });

  await check('division by zero mid-stream raises Neo.ClientError.Statement.ArithmeticError', async () => {
    const session = ctx.driver.session({ database: DB });
    try {
      await assert.rejects(session.run('UNWIND [1, 0] AS x RETURN 10 / x AS y'),
        expectCode('Neo.ClientError.Statement.ArithmeticError'));
      const after = await session.run('RETURN 1 AS one');
      assert.equal(after.records[0].get('one').toNumber(), 1, 'RETURN 1 after the error');
    } finally {
      await session.close();
    }
  });
}

async function run(ctx, check) {
  await valueChecks(ctx, check);
  await graphChecks(ctx, check);
  await transactionChecks(ctx, check);
  await streamingChecks(ctx, check);
  await errorChecks(ctx, check);
}

module.exports = { run, DB, PEOPLE };
