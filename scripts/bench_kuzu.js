// Kùzu side of scripts/bench-vs-kuzu.sh: loads one corpus (four CSV files
// split from `orvane generate`) into a fresh Kùzu database, then runs each
// statement of a tab-separated file (name, statement, correction) several
// times and prints "name<TAB>count<TAB>best ms" per statement. The
// correction is added to the count (see the script for why some need one).
//
//   node bench_kuzu.js DB_DIR CSV_DIR STATEMENTS_TSV RUNS THREADS
"use strict";
const fs = require("fs");
const kuzu = require("kuzu");

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
    const [name, , statement, correction] = line.split("\t");
    let best = Infinity;
    let count = null;
    for (let r = 0; r < runs; ++r) {
      const start = process.hrtime.bigint();
      const rows = await run(statement);
      const ms = Number(process.hrtime.bigint() - start) / 1e6;
      best = Math.min(best, ms);
      count = Number(Object.values(rows[0])[0]) + Number(correction || 0);
    }
    console.log(`${name}\t${count}\t${best.toFixed(1)}`);
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
