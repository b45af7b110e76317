// Reads the stub Bolt server with Neo4j's official JavaScript driver and
// prints what the driver saw as one JSON object. Run by
// check.py beside it, which starts the stub and judges the answer.
//
//   NODE_PATH=DIR/node_modules node driver.cjs PORT PASSWORD
//
// CommonJS rather than an ES module, because only require() honours NODE_PATH.
const neo4j = require('neo4j-driver');

const [port, password] = process.argv.slice(2);
const url = `bolt://127.0.0.1:${port}`;

// Temporal, spatial and integer values as the driver prints them.
function text(value) {
  if (value === null || typeof value !== 'object') return value;
  if (Array.isArray(value)) return value.map(text);
  if (value instanceof Int8Array) return Array.from(value, String); // as the bridge writes them: numbers
  if (neo4j.isInt(value)) return value.toString();
  return String(value);
}

function properties(entity) {
  return Object.fromEntries(Object.entries(entity.properties).map(([k, v]) => [k, text(v)]));
}

async function read(fetchSize) {
  const driver = neo4j.driver(url, neo4j.auth.basic('neo4j', password));
  const session = driver.session({ database: 'neo4j', defaultAccessMode: neo4j.session.READ, fetchSize });
  try {
    const protocol = (await session.run('MATCH (n) RETURN n').summary()).server.protocolVersion;
    const [nodes, relationships] = await session.executeRead(async (tx) => [
      (await tx.run('MATCH (n) RETURN n')).records.map((r) => r.get('n')),
      (await tx.run('MATCH ()-[r]->() RETURN r')).records.map((r) => r.get('r')),
    ]);
    return {
      protocol,
      nodes: nodes.map((n) => ({ id: n.elementId, labels: n.labels, properties: properties(n) })),
      relationships: relationships.map((r) => ({ id: r.elementId, type: r.type, start: r.startNodeElementId,
                                                 end: r.endNodeElementId, properties: properties(r) })),
    };
  } finally {
    await session.close();
    await driver.close();
  }
}

async function refusedLogin() {
  const driver = neo4j.driver(url, neo4j.auth.basic('neo4j', 'not-the-password'));
  try {
    await driver.executeQuery('MATCH (n) RETURN n');
    return 'accepted';
  } catch (error) {
    return error.code;
  } finally {
    await driver.close();
  }
}

async function main() {
  const whole = await read(1000);
  const paged = await read(2);
  console.log(JSON.stringify({ whole, pagedSame: JSON.stringify(whole) === JSON.stringify(paged),
                               badPassword: await refusedLogin() }));
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
