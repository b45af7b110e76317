// The graph style of the `:style` document: a caption template such as
// "{name}" and one colour per label and relationship type. Labels without
// a colour get one from a fixed palette, chosen by a hash of the name so a
// label keeps its colour across frames. Colours from the server are used
// only when they are plain hex colours.

import { getJson } from './api.js';

const PALETTE = ['#1a4f8b', '#0f7b6c', '#b15c00', '#7a3ea1', '#b3261e', '#3b6e22', '#005f86', '#8a5a00'];
const HEX = /^#(?:[0-9a-f]{3}|[0-9a-f]{6})$/i;

let style = { node: { caption: '{name}' }, rel: {} };

export async function loadStyle() {
  try {
    const doc = await getJson('/v1/style');
    if (doc && typeof doc.style === 'object' && doc.style) style = doc.style;
  } catch {
    /* keep the last known style; the frame that needs it still renders */
  }
  return style;
}

function paletteColour(name) {
  let hash = 0;
  for (const c of String(name)) hash = (hash * 31 + c.codePointAt(0)) >>> 0;
  return PALETTE[hash % PALETTE.length];
}

export function nodeColour(label) {
  const chosen = style.node && style.node[label];
  return typeof chosen === 'string' && HEX.test(chosen) ? chosen : paletteColour(label);
}

export function relColour(type) {
  const chosen = style.rel && style.rel[type];
  return typeof chosen === 'string' && HEX.test(chosen) ? chosen : '#8391a2';
}

// The caption of a node {id, label, name, topic, properties}: the template
// with each {key} replaced by the node's field or property of that name.
export function caption(node) {
  const template = style.node && typeof style.node.caption === 'string' ? style.node.caption : '{name}';
  const text = template.replace(/\{([A-Za-z0-9_]+)\}/g, (_, key) => {
    const value = key in node ? node[key] : node.properties ? node.properties[key] : undefined;
    return value === undefined || value === null ? '' : String(value);
  });
  return text || `${node.label || 'Node'} ${node.id}`;
}

// Black or white, whichever reads better on `hex`.
export function textOn(hex) {
  const value = hex.length === 4 ? hex.replace(/[0-9a-f]/gi, (c) => c + c).slice(1) : hex.slice(1);
  const [r, g, b] = [0, 2, 4].map((i) => parseInt(value.slice(i, i + 2), 16) / 255);
  return 0.2126 * r + 0.7152 * g + 0.0722 * b > 0.55 ? '#111111' : '#ffffff';
}
