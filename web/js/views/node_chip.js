// A node shown compactly inside tables and lists: a coloured dot, the
// label, the caption and the id. It is a button that opens the inspector.

import { el } from '../dom.js';
import { nodeColour, caption } from '../style.js';

// True for a node object of a row result: {id, label, properties}.
export function isNodeObject(value) {
  return value !== null && typeof value === 'object' && Number.isInteger(value.id) &&
    typeof value.label === 'string' && value.properties !== null && typeof value.properties === 'object';
}

// `node` is {id, label, name?, properties?}.
export function nodeChip(node, context) {
  const flat = { ...node, name: node.name ?? node.properties?.name };
  const dot = el('span', { class: 'chip-dot', 'aria-hidden': 'true' });
  dot.style.background = nodeColour(node.label);
  return el('button', { type: 'button', class: 'node-chip', title: `Inspect node ${node.id}`,
    onclick: () => context.openNode(node.id) },
  dot, el('span', { class: 'chip-label' }, `:${node.label || 'Node'}`), el('span', { class: 'chip-name' }, caption(flat)),
  el('span', { class: 'chip-id' }, `#${node.id}`));
}
