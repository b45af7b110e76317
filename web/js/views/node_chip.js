// A node shown compactly inside tables and lists: a coloured dot, the
// label, the caption and the id. It is a button that opens the inspector.

import { el } from '../dom.js';
import { nodeColour, caption } from '../style.js';

// True for a node object of a row result: {id, labels, properties}.
export function isNodeObject(value) {
  return value !== null && typeof value === 'object' && Number.isInteger(value.id) &&
    Array.isArray(value.labels) && value.properties !== null && typeof value.properties === 'object';
}

// The labels of `node`: its "labels" list, else its one "label".
export function labelsOf(node) {
  if (Array.isArray(node.labels)) return node.labels;
  return typeof node.label === 'string' ? [node.label] : [];
}

// `node` is {id, labels or label, name?, properties?}; the colour is its
// first label's.
export function nodeChip(node, context) {
  const labels = labelsOf(node);
  const flat = { ...node, label: labels[0], name: node.name ?? node.properties?.name };
  const dot = el('span', { class: 'chip-dot', 'aria-hidden': 'true' });
  dot.style.background = nodeColour(labels[0]);
  return el('button', { type: 'button', class: 'node-chip', title: `Inspect node ${node.id}`,
    onclick: () => context.openNode(node.id) },
  dot, el('span', { class: 'chip-label' }, labels.length > 0 ? labels.map((l) => `:${l}`).join('') : ':Node'),
  el('span', { class: 'chip-name' }, caption(flat)),
  el('span', { class: 'chip-id' }, `#${node.id}`));
}
