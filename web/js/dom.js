// Element builders. Every text that reaches the page goes through
// textContent or createTextNode, never through HTML parsing, because names,
// labels, property values and error messages come from imported data and
// from other clients' requests. Attributes are set one by one with
// setAttribute and never carry a URL taken from the server.

const SVG_NS = 'http://www.w3.org/2000/svg';

function apply(node, props) {
  for (const [key, value] of Object.entries(props || {})) {
    if (value === undefined || value === null || value === false) continue;
    if (key === 'class') node.setAttribute('class', value);
    else if (key === 'text') node.textContent = String(value);
    else if (key === 'dataset') Object.assign(node.dataset, value);
    else if (key.startsWith('on') && typeof value === 'function') node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value === true ? '' : String(value));
  }
}

function append(node, children) {
  for (const child of children.flat(Infinity)) {
    if (child === undefined || child === null || child === false) continue;
    node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
}

// An HTML element: el('button', {class: 'x', onclick: f}, 'Run').
export function el(tag, props, ...children) {
  const node = document.createElement(tag);
  apply(node, props);
  append(node, children);
  return node;
}

// An SVG element, built the same way.
export function svg(tag, props, ...children) {
  const node = document.createElementNS(SVG_NS, tag);
  apply(node, props);
  append(node, children);
  return node;
}

// Replaces all children of `node`.
export function replaceChildren(node, ...children) {
  node.replaceChildren();
  append(node, children);
  return node;
}

// A button that runs `action` on click (and on Enter/Space, as buttons do).
export function button(label, action, props = {}) {
  return el('button', { type: 'button', class: 'small-button', ...props, onclick: action }, label);
}

// Compact JSON text of any value, for cells and fallbacks.
export function compactJson(value) {
  try {
    return JSON.stringify(value);
  } catch {
    return String(value);
  }
}

// Nanoseconds as a short human reading.
export function formatNs(ns) {
  const value = Number(ns);
  if (!Number.isFinite(value)) return '–';
  if (value >= 1e9) return `${(value / 1e9).toFixed(2)} s`;
  if (value >= 1e6) return `${(value / 1e6).toFixed(2)} ms`;
  if (value >= 1e3) return `${(value / 1e3).toFixed(1)} µs`;
  return `${Math.round(value)} ns`;
}
