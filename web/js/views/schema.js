// The schema drawn as a graph, for CALL db.schema.visualization(): one node
// per label, one edge per relationship type and pair of labels it joins,
// as Neo4j Browser draws it. The server's answer names the labels and
// types but not which labels each type joins, so the page asks for those
// pairs in one statement (grouped, with how many relationships each pair
// has) and draws them with the graph view in a mode where nodes are not
// stored nodes: the inspector shows them, nothing expands them.

import { el } from '../dom.js';
import { postJson } from '../api.js';
import { drawGraph } from './graph.js';

const PAIRS = 'MATCH (a)-[r]->(b) UNWIND labels(a) AS from UNWIND labels(b) AS to ' +
  'RETURN from, type(r) AS type, to, count(*) AS count';

// {nodes, rels} of the schema from the label list and the (from, type, to,
// count) rows; a label met only in the rows is added too.
export function schemaGraph(labels, rows) {
  const ids = new Map();
  const nodes = [];
  const nodeOf = (label) => {
    if (!ids.has(label)) {
      ids.set(label, nodes.length);
      nodes.push({ id: nodes.length, label, labels: [label], name: label, properties: { name: label } });
    }
    return ids.get(label);
  };
  labels.forEach(nodeOf);
  const rels = rows.filter((row) => Array.isArray(row) && row.length >= 3).map(([from, type, to, count], i) => ({
    id: i, key: `r${i}`, src: nodeOf(String(from)), dst: nodeOf(String(to)), type: String(type),
    properties: { type: String(type), relationships: count },
  }));
  return { nodes, rels };
}

export function renderSchema(holder, result, context) {
  const data = result.data || {};
  const labels = Array.isArray(data.node_types) ? data.node_types.map(String) : [];
  const status = el('p', { class: 'muted schema-status', role: 'status' }, 'Reading which labels each relationship type joins…');
  holder.append(status);
  postJson('/v1/query', { query: PAIRS }).then((answer) => {
    if (!answer.ok) throw new Error(answer.error || 'the statement failed');
    const graph = schemaGraph(labels, answer.data && Array.isArray(answer.data.rows) ? answer.data.rows : []);
    status.textContent = `${graph.nodes.length} labels · ${graph.rels.length} label pairs joined by a relationship type`;
    drawGraph(holder, graph, context, { explorable: false });
  }).catch((error) => {
    status.textContent = `The schema's relationships could not be read: ${error.message}`;
    drawGraph(holder, schemaGraph(labels, []), context, { explorable: false });
  });
}
