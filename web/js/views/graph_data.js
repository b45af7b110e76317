// What a frame draws: the nodes and relationships of an answer, each once.
//
// A row answer names its graph twice: in the top-level `nodes`/`rels`
// arrays (entries {id, label, name, labels, properties, elementId} and
// {id, src, dst, type, properties, elementId}) and inside the rows, where a
// node is {id, elementId, labels, properties}, a relationship {id,
// elementId, type, start, end, properties} and a path {nodes,
// relationships}. Both are read, so an answer whose arrays were cut short
// (or an older server without them) still draws what its rows carry.
// Relationships are keyed by their own id, never by their ends, so
// parallel relationships stay apart.

import { postJson } from '../api.js';

// Largest number of relationships fetched to connect an answer of nodes alone.
export const CONNECT_LIMIT = 2000;

function isObject(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value);
}

function isRowNode(value) {
  return isObject(value) && Number.isInteger(value.id) && Array.isArray(value.labels) && isObject(value.properties);
}

function isRowRel(value) {
  return isObject(value) && Number.isInteger(value.id) && typeof value.type === 'string' &&
    Number.isInteger(value.start) && Number.isInteger(value.end);
}

function isPath(value) {
  return isObject(value) && Array.isArray(value.nodes) && Array.isArray(value.relationships);
}

function nodeEntry(value) {
  const labels = Array.isArray(value.labels) ? value.labels : typeof value.label === 'string' ? [value.label] : [];
  return {
    id: value.id, label: labels[0] || value.label || 'Node', labels, name: value.name,
    properties: isObject(value.properties) ? value.properties : undefined, elementId: value.elementId,
  };
}

function relEntry(value) {
  return {
    id: value.id, src: value.src ?? value.start, dst: value.dst ?? value.end, type: value.type,
    properties: isObject(value.properties) ? value.properties : undefined, elementId: value.elementId,
  };
}

// A collector of nodes and relationships in order of first appearance.
class GraphSet {
  constructor() {
    this.nodes = new Map();
    this.rels = new Map();
  }

  addNode(value) {
    if (!Number.isInteger(value.id) || this.nodes.has(value.id)) return;
    this.nodes.set(value.id, nodeEntry(value));
  }

  addRel(value) {
    const entry = relEntry(value);
    const key = Number.isInteger(entry.id) ? `r${entry.id}` : `r${entry.src}-${entry.type}-${entry.dst}`;
    if (!this.rels.has(key)) this.rels.set(key, { ...entry, key });
  }

  // Walks a row value at any depth (lists, maps, paths).
  walk(value, depth = 0) {
    if (depth > 16 || value === null || typeof value !== 'object') return;
    if (Array.isArray(value)) {
      for (const item of value) this.walk(item, depth + 1);
    } else if (isRowNode(value)) {
      this.addNode(value);
    } else if (isRowRel(value)) {
      this.addRel(value);
    } else if (isPath(value)) {
      value.nodes.forEach((n) => this.walk(n, depth + 1));
      value.relationships.forEach((r) => this.walk(r, depth + 1));
    } else if (!('$type' in value)) {
      for (const item of Object.values(value)) this.walk(item, depth + 1);
    }
  }

  result() {
    return { nodes: [...this.nodes.values()], rels: [...this.rels.values()] };
  }
}

// The graph of `result`: {nodes, rels}, each entry as nodeEntry/relEntry
// make it. Never throws on odd input; it skips what it does not know.
export function graphOf(result) {
  const set = new GraphSet();
  for (const node of Array.isArray(result.nodes) ? result.nodes : []) if (isObject(node)) set.addNode(node);
  for (const rel of Array.isArray(result.rels) ? result.rels : []) if (isObject(rel)) set.addRel(rel);
  const rows = result.data && Array.isArray(result.data.rows) ? result.data.rows : [];
  for (const row of rows) set.walk(row);
  return set.result();
}

// True when `result` carries anything to draw.
export function hasGraph(result) {
  if (Array.isArray(result.nodes) && result.nodes.length > 0) return true;
  const rows = result.data && Array.isArray(result.data.rows) ? result.data.rows : [];
  const probe = new GraphSet();
  for (const row of rows.slice(0, 200)) {
    probe.walk(row);
    if (probe.nodes.size || probe.rels.size) return true;
  }
  return false;
}

// The relationships among `ids` (node ids), in one bounded statement.
// Resolves to relationship entries; rejects with the ApiError of the
// request when it fails.
export async function relationshipsAmong(ids) {
  const answer = await postJson('/v1/query', {
    query: `MATCH (a)-[r]->(b) WHERE id(a) IN $ids AND id(b) IN $ids RETURN r LIMIT ${CONNECT_LIMIT}`,
    params: { ids },
  });
  if (!answer.ok) throw new Error(answer.error || 'fetching the relationships failed');
  return graphOf({ data: answer.data }).rels;
}

// The relationships of node `id` in both directions and the nodes at their
// other ends, at most `limit` of them.
export async function neighbourhood(id, limit = 100) {
  const answer = await postJson('/v1/query', {
    query: `MATCH (a)-[r]-(b) WHERE id(a) = $id RETURN r, b LIMIT ${limit}`,
    params: { id },
  });
  if (!answer.ok) throw new Error(answer.error || 'expanding failed');
  return graphOf(answer);
}
