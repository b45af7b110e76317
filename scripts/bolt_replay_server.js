// A Bolt server that does no work: the peer that bench-bolt.sh measures
// our streaming against. It answers a driver's handshake, HELLO, LOGON,
// RUN, PULL, RESET and GOODBYE with bytes it has ready, so what the driver
// reaches against it is the most the driver itself can take in; our
// server's rows per second over this one's is the share of that ceiling we
// reach.
//
// It knows two answers: one for `RETURN 1`, which gives the driver's own
// floor for a round trip, and the stream, which it gives for any other
// statement. With --record-from PORT both are recorded once, at start,
// from a real server's Bolt port on 127.0.0.1: a raw socket shakes hands
// for 5.x as the driver would, sends HELLO and LOGON, RUNs the statement
// and PULLs it 1,000 rows at a time, and keeps every message's chunked
// bytes as they came (the RUN's SUCCESS, each RECORD, the final SUCCESS).
// Without it the answers are made here: for the stream, RECORD [i] for i
// in 1..--rows, one chunk each, which is what a server should send for
// `UNWIND range(1, N) AS i RETURN i`. A recorded stream is also compared
// with the made one, and the start line says whether they are the same
// bytes.
//
// A RUN is answered with the recorded SUCCESS, and every PULL n with the
// next n recorded RECORDs (one slice of one buffer, no copying) and
// SUCCESS {has_more: true}, or the recorded final SUCCESS once the rows run
// out. HELLO gets the recorded SUCCESS, RESET and everything else a bare
// one, GOODBYE the end of the connection.
//
//   node scripts/bolt_replay_server.js --port P [--record-from BOLT_PORT]
//        [--query TEXT] [--rows N]
//
// Prints one line, "listening on 127.0.0.1:P ...", when it is ready, and
// serves until it is killed. Listens on the loopback address only.
'use strict';

const net = require('node:net');

function option(name, fallback) {
  const i = process.argv.indexOf(name);
  return i > 0 && i + 1 < process.argv.length ? process.argv[i + 1] : fallback;
}

const PORT = Number(option('--port', '17699'));
const RECORD_FROM = option('--record-from', '');
const QUERY = option('--query', 'UNWIND range(1, 1000000) AS i RETURN i');
const ROWS = Number(option('--rows', '1000000'));
const AGENT = 'Neo4j/5.26.0';

// ---- PackStream: just what these messages use ----------------------------

function packInt(v) {
  if (v >= -16 && v < 128) return Buffer.from([v & 0xff]);
  if (v >= -128 && v < 128) return Buffer.from([0xc8, v & 0xff]);
  if (v >= -32768 && v < 32768) { const b = Buffer.alloc(3); b[0] = 0xc9; b.writeInt16BE(v, 1); return b; }
  if (v >= -2147483648 && v < 2147483648) { const b = Buffer.alloc(5); b[0] = 0xca; b.writeInt32BE(v, 1); return b; }
  const b = Buffer.alloc(9); b[0] = 0xcb; b.writeBigInt64BE(BigInt(v), 1); return b;
}

function packSize(small, base, n) {
  if (n < 16) return Buffer.from([small + n]);
  if (n < 256) return Buffer.from([base, n]);
  if (n < 65536) { const b = Buffer.alloc(3); b[0] = base + 1; b.writeUInt16BE(n, 1); return b; }
  const b = Buffer.alloc(5); b[0] = base + 2; b.writeUInt32BE(n, 1); return b;
}

function pack(v) {
  if (v === null || v === undefined) return Buffer.from([0xc0]);
  if (v === true) return Buffer.from([0xc3]);
  if (v === false) return Buffer.from([0xc2]);
  if (typeof v === 'number') return packInt(v);
  if (typeof v === 'string') {
    const s = Buffer.from(v, 'utf8');
    return Buffer.concat([packSize(0x80, 0xd0, s.length), s]);
  }
  if (Array.isArray(v)) return Buffer.concat([packSize(0x90, 0xd4, v.length), ...v.map(pack)]);
  const keys = Object.keys(v);
  return Buffer.concat([packSize(0xa0, 0xd8, keys.length), ...keys.flatMap((k) => [pack(k), pack(v[k])])]);
}

function message(signature, ...fields) {
  return Buffer.concat([Buffer.from([0xb0 + fields.length, signature]), ...fields.map(pack)]);
}

// Reads one value at r.at; enough of PackStream for any message a driver
// sends (structures inside parameters come back as {signature, fields}).
function unpack(buf, r) {
  const m = buf[r.at++];
  const hi = m & 0xf0;
  const take = (n) => { const s = r.at; r.at += n; return s; };
  const str = (n) => buf.toString('utf8', take(n), r.at);
  const list = (n) => Array.from({ length: n }, () => unpack(buf, r));
  const map = (n) => { const o = {}; for (let i = 0; i < n; i++) { const k = unpack(buf, r); o[k] = unpack(buf, r); } return o; };
  const struct = (n) => ({ signature: buf[r.at++], fields: list(n) });
  if (m < 0x80) return m;
  if (m >= 0xf0) return m - 256;
  if (hi === 0x80) return str(m & 0x0f);
  if (hi === 0x90) return list(m & 0x0f);
  if (hi === 0xa0) return map(m & 0x0f);
  if (hi === 0xb0) return struct(m & 0x0f);
  switch (m) {
    case 0xc0: return null;
    case 0xc1: return buf.readDoubleBE(take(8));
    case 0xc2: return false;
    case 0xc3: return true;
    case 0xc8: return buf.readInt8(take(1));
    case 0xc9: return buf.readInt16BE(take(2));
    case 0xca: return buf.readInt32BE(take(4));
    case 0xcb: return Number(buf.readBigInt64BE(take(8)));
    case 0xcc: return buf.subarray(take(buf[r.at] + 1) + 1, r.at);
    case 0xcd: { const n = buf.readUInt16BE(take(2)); return buf.subarray(take(n), r.at); }
    case 0xce: { const n = buf.readUInt32BE(take(4)); return buf.subarray(take(n), r.at); }
    case 0xd0: return str(buf[take(1)]);
    case 0xd1: return str(buf.readUInt16BE(take(2)));
    case 0xd2: return str(buf.readUInt32BE(take(4)));
    case 0xd4: return list(buf[take(1)]);
    case 0xd5: return list(buf.readUInt16BE(take(2)));
    case 0xd6: return list(buf.readUInt32BE(take(4)));
    case 0xd8: return map(buf[take(1)]);
    case 0xd9: return map(buf.readUInt16BE(take(2)));
    case 0xda: return map(buf.readUInt32BE(take(4)));
    case 0xdc: return struct(buf[take(1)]);
    case 0xdd: return struct(buf.readUInt16BE(take(2)));
    default: throw new Error(`PackStream marker 0x${m.toString(16)} is not handled`);
  }
}

// ---- chunking -------------------------------------------------------------

function chunked(msg) {
  const parts = [];
  for (let at = 0; at < msg.length; at += 0xffff) {
    const piece = msg.subarray(at, Math.min(msg.length, at + 0xffff));
    const head = Buffer.alloc(2);
    head.writeUInt16BE(piece.length);
    parts.push(head, piece);
  }
  parts.push(Buffer.alloc(2));
  return Buffer.concat(parts);
}

// Splits a byte stream into messages. Each comes with its body (chunks
// joined) and its raw bytes as they arrived, headers and end marker
// included, so a recording keeps exactly what was sent.
class Dechunker {
  constructor() { this.pending = Buffer.alloc(0); }

  *feed(data) {
    this.pending = this.pending.length ? Buffer.concat([this.pending, data]) : data;
    let start = 0;
    for (;;) {
      let at = start;
      const body = [];
      let complete = false;
      while (at + 2 <= this.pending.length) {
        const n = this.pending.readUInt16BE(at);
        if (n === 0) {
          at += 2;
          // Two zero bytes with no chunk before them are a keep-alive.
          if (body.length) { complete = true; break; }
          start = at;
          continue;
        }
        if (at + 2 + n > this.pending.length) break;
        body.push(this.pending.subarray(at + 2, at + 2 + n));
        at += 2 + n;
      }
      if (!complete) break;
      yield { body: body.length === 1 ? body[0] : Buffer.concat(body), raw: this.pending.subarray(start, at) };
      start = at;
    }
    this.pending = this.pending.subarray(start);
  }
}

const SIG = {
  HELLO: 0x01, GOODBYE: 0x02, LOGON: 0x6a, LOGOFF: 0x6b, RESET: 0x0f, RUN: 0x10, PULL: 0x3f, DISCARD: 0x2f,
  BEGIN: 0x11, COMMIT: 0x12, ROLLBACK: 0x13, ROUTE: 0x66, TELEMETRY: 0x54,
  SUCCESS: 0x70, RECORD: 0x71, IGNORED: 0x7e, FAILURE: 0x7f,
};

function decode(body) {
  const r = { at: 0 };
  const head = unpack(body, r);
  if (!head || typeof head !== 'object' || !('signature' in head)) throw new Error('a message that is not a structure');
  return head;
}

// ---- the result to serve --------------------------------------------------

// All RECORD messages in one buffer, with where each begins (one entry
// more than there are rows, for the end).
function madeRecords(rows) {
  const parts = [];
  const offsets = new Float64Array(rows + 1);
  let size = 0;
  for (let i = 1; i <= rows; i++) {
    const msg = chunked(message(SIG.RECORD, [i]));
    offsets[i - 1] = size;
    size += msg.length;
    parts.push(msg);
  }
  offsets[rows] = size;
  return { bytes: Buffer.concat(parts, size), offsets };
}

function made(rows, field) {
  return {
    hello: chunked(message(SIG.SUCCESS, { server: AGENT, connection_id: 'bolt-replay', hints: {} })),
    runSuccess: chunked(message(SIG.SUCCESS, { fields: [field], t_first: 0 })),
    hasMore: chunked(message(SIG.SUCCESS, { has_more: true })),
    done: chunked(message(SIG.SUCCESS, { type: 'r', t_last: 0, db: 'neo4j' })),
    ...madeRecords(rows),
  };
}

// Plays a driver against the server on `port` and keeps what it answers.
function record(port, query) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    const dechunker = new Dechunker();
    const records = [];
    let version = null;
    let handshake = Buffer.alloc(0);
    let step = 'hello';
    const out = { hasMore: null };
    const fail = (error) => { socket.destroy(); reject(error); };
    const send = (...msgs) => socket.write(Buffer.concat(msgs.map(chunked)));
    const auth = { scheme: 'basic', principal: 'neo4j', credentials: process.env.BOLT_PASSWORD || 'bench' };
    const pull = () => send(message(SIG.PULL, { n: 1000 }));

    socket.on('error', fail);
    socket.on('close', () => { if (step !== 'done') fail(new Error(`the server closed the connection during ${step}`)); });
    socket.on('connect', () => {
      // The same four proposals as the driver's version 5 range, so the
      // server picks the version the driver would get.
      socket.write(Buffer.from([0x60, 0x60, 0xb0, 0x17, 0, 8, 8, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]));
    });
    socket.on('data', (data) => {
      try {
        if (version === null) {
          handshake = Buffer.concat([handshake, data]);
          if (handshake.length < 4) return;
          version = { major: handshake[3], minor: handshake[2] };
          if (version.major !== 5) return fail(new Error(`the server chose Bolt ${version.major}.${version.minor}`));
          const hello = { user_agent: 'bench-bolt-recorder', bolt_agent: { product: 'bench-bolt-recorder/1' } };
          if (version.minor === 0) {
            send(message(SIG.HELLO, { ...hello, ...auth }));
            step = 'logon';
          } else {
            send(message(SIG.HELLO, hello), message(SIG.LOGON, auth));
          }
          data = handshake.subarray(4);
          if (!data.length) return;
        }
        for (const { body, raw } of dechunker.feed(data)) {
          const msg = decode(body);
          if (msg.signature === SIG.FAILURE) return fail(new Error(`${step}: ${JSON.stringify(msg.fields[0])}`));
          if (msg.signature === SIG.RECORD) {
            if (step !== 'pull') return fail(new Error(`a RECORD during ${step}`));
            records.push(Buffer.from(raw));
            continue;
          }
          if (msg.signature !== SIG.SUCCESS) return fail(new Error(`message 0x${msg.signature.toString(16)} during ${step}`));
          const meta = msg.fields[0];
          if (step === 'hello') {
            out.hello = Buffer.from(raw);
            step = 'logon';
          } else if (step === 'logon') {
            out.hello = out.hello || Buffer.from(raw);
            step = 'run';
            send(message(SIG.RUN, query, {}, {}), message(SIG.PULL, { n: 1000 }));
          } else if (step === 'run') {
            out.runSuccess = Buffer.from(raw);
            step = 'pull';
          } else if (step === 'pull' && meta.has_more) {
            out.hasMore = out.hasMore || Buffer.from(raw);
            pull();
          } else if (step === 'pull') {
            out.done = Buffer.from(raw);
            step = 'done';
            socket.end(chunked(message(SIG.GOODBYE)));
            const offsets = new Float64Array(records.length + 1);
            let size = 0;
            records.forEach((r, i) => { offsets[i] = size; size += r.length; });
            offsets[records.length] = size;
            out.hasMore = out.hasMore || chunked(message(SIG.SUCCESS, { has_more: true }));
            resolve({ ...out, bytes: Buffer.concat(records, size), offsets, version });
          }
        }
      } catch (error) {
        fail(error);
      }
    });
  });
}

// ---- serving --------------------------------------------------------------

const RETURN_ONE = 'RETURN 1';

// `answers` maps RETURN_ONE and the stream's statement to their answers.
function serve(answers) {
  const stream = answers[QUERY];
  const success = chunked(message(SIG.SUCCESS, {}));
  const server = net.createServer((socket) => {
    socket.setNoDelay(true);
    const dechunker = new Dechunker();
    let shaken = false;
    let handshake = Buffer.alloc(0);
    let result = stream;
    let rows = 0; // nothing open until a RUN
    let next = 0;
    socket.on('error', () => socket.destroy());
    socket.on('data', (data) => {
      if (!shaken) {
        handshake = Buffer.concat([handshake, data]);
        if (handshake.length < 20) return;
        if (handshake.readUInt32BE(0) !== 0x6060b017) return socket.destroy();
        // The highest 5.x (up to 5.8) that a proposal covers, as our server
        // chooses.
        let minor = -1;
        for (let p = 0; p < 4; p++) {
          const b = handshake.subarray(4 + 4 * p, 8 + 4 * p);
          if (b[3] !== 5) continue;
          for (let m = Math.min(b[2], 8); m >= Math.max(0, b[2] - b[1]); m--) {
            if (m > minor) minor = m;
            break;
          }
        }
        if (minor < 0) return socket.end(Buffer.alloc(4));
        socket.write(Buffer.from([0, 0, minor, 5]));
        shaken = true;
        data = handshake.subarray(20);
        if (!data.length) return;
      }
      const replies = [];
      let messages;
      try {
        messages = [...dechunker.feed(data)].map(({ body }) => decode(body));
      } catch (error) {
        // Not Bolt as this server knows it: the connection goes, the server
        // stays.
        console.error(`bolt_replay_server: ${error.message}`);
        return socket.destroy();
      }
      for (const msg of messages) {
        switch (msg.signature) {
          case SIG.HELLO: replies.push(stream.hello); break;
          case SIG.RUN:
            result = msg.fields[0] === RETURN_ONE ? answers[RETURN_ONE] : stream;
            rows = result.offsets.length - 1;
            next = 0;
            replies.push(result.runSuccess);
            break;
          case SIG.PULL:
          case SIG.DISCARD: {
            const n = msg.fields[0] && typeof msg.fields[0].n === 'number' ? msg.fields[0].n : -1;
            const end = n < 0 ? rows : Math.min(rows, next + n);
            if (msg.signature === SIG.PULL) replies.push(result.bytes.subarray(result.offsets[next], result.offsets[end]));
            next = end;
            replies.push(next < rows ? result.hasMore : result.done);
            break;
          }
          case SIG.RESET: next = rows = 0; replies.push(success); break;
          case SIG.GOODBYE: socket.end(); return;
          // LOGON, LOGOFF, BEGIN, COMMIT, ROLLBACK, TELEMETRY: nothing to do.
          default: replies.push(success); break;
        }
      }
      if (replies.length === 1) socket.write(replies[0]);
      else if (replies.length) socket.write(Buffer.concat(replies));
    });
  });
  server.on('error', (error) => { console.error(`bolt_replay_server: ${error.message}`); process.exit(1); });
  server.listen(PORT, '127.0.0.1', () => {
    const source = stream.version
      ? `recorded from 127.0.0.1:${RECORD_FROM} over Bolt ${stream.version.major}.${stream.version.minor}` +
        `, records ${stream.sameAsMade ? 'byte for byte the same as' : 'NOT the same bytes as'} made ones`
      : 'made here';
    console.log(`listening on 127.0.0.1:${PORT}: ${stream.offsets.length - 1} rows, ` +
      `${stream.bytes.length} bytes of records, ${source}`);
  });
}

(async () => {
  const answers = {};
  if (RECORD_FROM) {
    answers[RETURN_ONE] = await record(Number(RECORD_FROM), RETURN_ONE);
    const stream = await record(Number(RECORD_FROM), QUERY);
    stream.sameAsMade = madeRecords(stream.offsets.length - 1).bytes.equals(stream.bytes);
    answers[QUERY] = stream;
  } else {
    answers[RETURN_ONE] = made(1, '1');
    answers[QUERY] = made(ROWS, 'i');
  }
  serve(answers);
})().catch((error) => {
  console.error(`bolt_replay_server: ${error.message}`);
  process.exit(1);
});
