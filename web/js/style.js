// How nodes and relationships look: a colour, a size and a caption per
// label, and a colour per relationship type.
//
// A label's colour is, first, the one the user picked in a graph legend;
// then the one the server's `:style` document names; then a colour of a
// fixed palette of 14, handed out in the order labels are first seen. The
// palette runs out only across many graphs, so a new label takes a colour
// no other label of its graph has (the least used one), and when two
// labels that met in different graphs now share one, the later-seen one
// moves to a free colour: no two labels of one graph share a colour until
// the graph has more than 14. The user's picks (colour, size, caption
// property), the order labels were seen in and the colours handed out are
// kept in localStorage under STORE_SLOT, so a label keeps its look across
// frames and visits. Colours from the server are used only when they are
// plain hex colours.

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
    const order = Array.isArray(saved.order) ? saved.order.filter((l) => typeof l === 'string') : [];
    const auto = saved.auto && typeof saved.auto === 'object' ? saved.auto : {};
    // A store from before `auto` existed gave each label its place in `order`.
    order.forEach((label, i) => { if (!HEX.test(String(auto[label] ?? ''))) auto[label] = PALETTE[i % PALETTE.length]; });
    return { order, auto, labels: saved.labels && typeof saved.labels === 'object' ? saved.labels : {} };
  } catch {
    return { order: [], auto: {}, labels: {} };
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

// The colour the user or the server's style gives `key`, or ''.
function chosenColour(key) {
  const mine = local.labels[key]?.colour;
  if (typeof mine === 'string' && HEX.test(mine)) return mine.toLowerCase();
  const theirs = server.node && server.node[key];
  return typeof theirs === 'string' && HEX.test(theirs) ? theirs.toLowerCase() : '';
}

// Of the palette colours not in `taken`, the one fewest labels have (the
// first such in palette order, so a fresh store hands them out in order);
// null when `taken` holds them all.
function leastUsed(taken) {
  const uses = new Map(PALETTE.map((colour) => [colour, 0]));
  for (const [label, colour] of Object.entries(local.auto)) {
    if (uses.has(colour) && !chosenColour(label)) uses.set(colour, uses.get(colour) + 1);
  }
  const free = PALETTE.filter((colour) => !taken.has(colour));
  return free.length ? free.reduce((best, colour) => (uses.get(colour) < uses.get(best) ? colour : best)) : null;
}

// Registers the labels of one graph (call it with a whole answer's labels
// before drawing): each label not seen before takes a palette colour no
// other label of the graph has, and of two labels of the graph that were
// given one colour in different graphs, the later-seen one moves to a free
// colour. Labels the server's style or the user colours take none. A move
// tells every drawn graph to follow.
export function noteLabels(labels) {
  const keys = [...new Set(labels.map((label) => String(label ?? 'Node')))];
  const taken = new Set(keys.map(chosenColour).filter(Boolean));
  const automatic = keys.filter((key) => !chosenColour(key));
  let added = false;
  let moved = false;
  for (const key of automatic) {
    if (!local.order.includes(key)) {
      local.order.push(key);
      added = true;
    }
  }
  // Earlier-seen labels keep their colours.
  automatic.sort((a, b) => local.order.indexOf(a) - local.order.indexOf(b));
  for (const key of automatic) {
    const had = HEX.test(String(local.auto[key] ?? '')) ? local.auto[key] : '';
    if (had && !taken.has(had)) {
      taken.add(had);
      continue;
    }
    // More labels than colours: a new label takes the least used one, a
    // known label keeps its own.
    const colour = leastUsed(taken) ?? (had || leastUsed(new Set()));
    if (colour !== had) {
      local.auto[key] = colour;
      if (had) moved = true;
      else added = true;
    }
    taken.add(colour);
  }
  if (moved) changed();
  else if (added) saveLocal();
}

export function nodeColour(label) {
  const key = String(label ?? 'Node');
  const chosen = chosenColour(key);
  if (chosen) return chosen;
  if (!local.auto[key]) noteLabels([key]);
  return local.auto[key];
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
