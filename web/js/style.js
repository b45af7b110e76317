// How nodes and relationships look: a colour, a size and a caption per
// label, and a colour per relationship type.
//
// A label's colour is, first, the one the user picked in a graph legend;
// then the one the server's `:style` document names; then the next unused
// colour of a fixed palette of 14, handed out in the order labels are
// first seen, so no two labels share a colour until there are more than
// 14. The user's picks (colour, size, caption property) and the palette's
// hand-out order are kept in localStorage under STORE_SLOT, so a label
// keeps its look across frames and visits. Colours from the server are
// used only when they are plain hex colours.

import { getJson } from './api.js';

const STORE_SLOT = 'halvex.graphStyle';
const HEX = /^#(?:[0-9a-f]{3}|[0-9a-f]{6})$/i;

// Distinct in hue and lightness, readable on the light and the dark canvas.
export const PALETTE = ['#4c8eda', '#f79767', '#57c7e3', '#f16667', '#8dcc93', '#c990c0', '#ffc454', '#569480',
  '#da7194', '#d9c8ae', '#7e57c2', '#b5835a', '#2e7d32', '#a5abb6'];

// Node diameters the legend offers, in model pixels.
export const SIZES = { small: 18, medium: 26, large: 38, huge: 54 };
const DEFAULT_SIZE = 'medium';

let server = { node: { caption: '{name}' }, rel: {} };
const listeners = new Set();

function loadLocal() {
  try {
    const saved = JSON.parse(localStorage.getItem(STORE_SLOT) || '{}');
    return {
      order: Array.isArray(saved.order) ? saved.order.filter((l) => typeof l === 'string') : [],
      labels: saved.labels && typeof saved.labels === 'object' ? saved.labels : {},
    };
  } catch {
    return { order: [], labels: {} };
  }
}

const local = loadLocal();

function saveLocal() {
  try {
    localStorage.setItem(STORE_SLOT, JSON.stringify(local));
  } catch {
    /* storage full or disabled: the choices last until the page closes */
  }
}

export async function loadStyle() {
  try {
    const doc = await getJson('/v1/style');
    if (doc && typeof doc.style === 'object' && doc.style) server = doc.style;
  } catch {
    /* keep the last known style; the frame that needs it still renders */
  }
  return server;
}

// Calls `listener()` after any user change of a label's look; returns the
// function that unsubscribes it.
export function onStyleChange(listener) {
  listeners.add(listener);
  return () => listeners.delete(listener);
}

function changed() {
  saveLocal();
  for (const listener of [...listeners]) listener();
}

function prefs(label) {
  const key = String(label ?? 'Node');
  if (!local.labels[key] || typeof local.labels[key] !== 'object') local.labels[key] = {};
  return local.labels[key];
}

// Registers the labels in the order given (first appearance), so each new
// one takes the next palette colour; labels the server's style or the user
// colours take none. Call it with a whole answer's labels
// before drawing, so colours follow the answer's own order.
export function noteLabels(labels) {
  let added = false;
  for (const label of labels) {
    const key = String(label ?? 'Node');
    const styled = HEX.test(String(server.node?.[key] ?? '')) || HEX.test(String(local.labels[key]?.colour ?? ''));
    if (!styled && !local.order.includes(key)) {
      local.order.push(key);
      added = true;
    }
  }
  if (added) saveLocal();
}

export function nodeColour(label) {
  const key = String(label ?? 'Node');
  const mine = local.labels[key]?.colour;
  if (typeof mine === 'string' && HEX.test(mine)) return mine;
  const chosen = server.node && server.node[key];
  if (typeof chosen === 'string' && HEX.test(chosen)) return chosen;
  noteLabels([key]);
  return PALETTE[local.order.indexOf(key) % PALETTE.length];
}

export function setNodeColour(label, colour) {
  if (!HEX.test(colour)) return;
  prefs(label).colour = colour.toLowerCase();
  changed();
}

// The diameter of a node of `label`, in model pixels.
export function nodeSize(label) {
  const name = local.labels[String(label ?? 'Node')]?.size;
  return SIZES[name] || SIZES[DEFAULT_SIZE];
}

export function nodeSizeName(label) {
  const name = local.labels[String(label ?? 'Node')]?.size;
  return SIZES[name] ? name : DEFAULT_SIZE;
}

export function setNodeSize(label, name) {
  if (!SIZES[name]) return;
  prefs(label).size = name;
  changed();
}

// The property the user chose as the caption of `label`'s nodes, or ''.
export function captionKey(label) {
  const key = local.labels[String(label ?? 'Node')]?.caption;
  return typeof key === 'string' ? key : '';
}

export function setCaptionKey(label, key) {
  prefs(label).caption = String(key || '');
  changed();
}

export function relColour(type) {
  const chosen = server.rel && server.rel[type];
  return typeof chosen === 'string' && HEX.test(chosen) ? chosen : '#8391a2';
}

function shown(value) {
  if (value === undefined || value === null) return '';
  return typeof value === 'object' ? JSON.stringify(value) : String(value);
}

// The caption of a node {id, label, name?, properties?}: the property the
// user picked for its label, else `name`, else `title`, else its first
// string property, else "Label id". A server style whose caption template
// is not the plain "{name}" wins over name and title.
export function caption(node) {
  const properties = node.properties && typeof node.properties === 'object' ? node.properties : {};
  const picked = captionKey(node.label);
  if (picked && properties[picked] !== undefined && properties[picked] !== null) return shown(properties[picked]);
  const template = server.node && typeof server.node.caption === 'string' ? server.node.caption : '{name}';
  if (template !== '{name}') {
    const text = template.replace(/\{([A-Za-z0-9_]+)\}/g, (_, key) => shown(key in properties ? properties[key] : node[key]));
    if (text.trim()) return text;
  }
  for (const key of ['name', 'title']) {
    if (typeof properties[key] === 'string' && properties[key]) return properties[key];
  }
  const first = Object.values(properties).find((value) => typeof value === 'string' && value);
  if (first) return first;
  // An entry of the answer's graph arrays carries the server's display name.
  return typeof node.name === 'string' && node.name ? node.name : `${node.label || 'Node'} ${node.id}`;
}

// Black or white, whichever reads better on `hex`.
export function textOn(hex) {
  const value = hex.length === 4 ? hex.replace(/[0-9a-f]/gi, (c) => c + c).slice(1) : hex.slice(1);
  const [r, g, b] = [0, 2, 4].map((i) => parseInt(value.slice(i, i + 2), 16) / 255);
  return 0.2126 * r + 0.7152 * g + 0.0722 * b > 0.55 ? '#111111' : '#ffffff';
}
