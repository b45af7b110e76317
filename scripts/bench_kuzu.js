// Kùzu side of scripts/bench-vs-kuzu.sh: loads one corpus (four CSV files
// split from `orvane generate`) into a fresh Kùzu database, then runs each
// statement of a tab-separated file (name, statement, correction) several
// times and prints "name<TAB>answer<TAB>best ms" per statement. The answer
// is read as the statement's mode says (a fifth column): "count" (the
// default) the first value of the first row plus the correction (see the
// script for why some need one), "rows" a digest of every row's values in
// order, "size" the number of rows.
//
//   node bench_kuzu.js DB_DIR CSV_DIR STATEMENTS_TSV RUNS THREADS
"use strict";
const fs = require("fs");
const kuzu = require("kuzu");
const crypto = require("crypto");

// The answer of `rows` as scripts/bench-vs-kuzu.sh reads orvane's.
function answer(rows, mode, correction) {
  if (mode === "rows") {
    const values = rows.map((row) => Object.values(row).map((v) => (typeof v === "bigint" ? Number(v) : v)));
    return crypto.createHash("sha1").update(JSON.stringify(values)).digest("hex").slice(0, 12);
  }
  if (mode === "size") return String(rows.length);
  return String(Number(Object.values(rows[0])[0]) + Number(correction || 0));
}

async function main() {
  const [dbDir, csvDir, statementsPath, runsText, threadsText] = process.argv.slice(2);
  const runs = Number(runsText);
  const db = new kuzu.Database(dbDir);
  const conn = new kuzu.Connection(db, Number(threadsText));
  const run = async (text) => (await conn.query(text)).getAll();
  await run("CREATE NODE TABLE Person(id INT64, name STRING, topic INT64, PRIMARY KEY(id))");
  await run("CREATE NODE TABLE Paper(id INT64, name STRING, topic INT64, PRIMARY KEY(id))");
  await run("CREATE REL TABLE FOLLOWS(FROM Person TO Person)");
  await run("CREATE REL TABLE AUTHORED(FROM Person TO Paper)");
  const load = Date.now();
  for (const table of ["Person", "Paper", "FOLLOWS", "AUTHORED"]) {
    await run(`COPY ${table} FROM '${csvDir}/${table.toLowerCase()}.csv' (header=true)`);
  }
  process.stderr.write(`kuzu load_ms=${Date.now() - load}\n`);
  const lines = fs.readFileSync(statementsPath, "utf8").split("\n").filter((l) => l.trim() !== "");
  for (const line of lines) {
    const [name, , statement, correction, mode] = line.split("\t");
    let best = Infinity;
    let count = null;
    for (let r = 0; r < runs; ++r) {
      const start = process.hrtime.bigint();
      const rows = await run(statement);
      const ms = Number(process.hrtime.bigint() - start) / 1e6;
      best = Math.min(best, ms);
      count = answer(rows, mode || "count", correction);
    }
    console.log(`${name}\t${count}\t${best.toFixed(1)}`);
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
