// A drawn graph as a standalone SVG document, built from the picture the
// graph view's handle gives (node positions from the graph model at the
// fitted view, radii, colours, captions, and each relationship's ends and
// bend): circles in the label colour, captions below, relationships as
// straight or quadratic paths (parallel ones keep their bend) that stop at
// the node's rim with an arrowhead, and the type at the middle. Every text
// goes in through the DOM, so names cannot inject markup.

import { svg } from '../dom.js';

function round(value) {
  return Math.round(value * 10) / 10;
}

// `from` moved `by` towards `to`.
function toward(from, to, by) {
  const length = Math.hypot(to.x - from.x, to.y - from.y) || 1;
  return { x: from.x + ((to.x - from.x) * by) / length, y: from.y + ((to.y - from.y) * by) / length };
}

function edgePath(edge) {
  const { source, target, control } = edge;
  const s = toward(source, control || target, edge.sourceRadius);
  const t = toward(target, control || source, edge.targetRadius + 1);
  if (control) return `M${round(s.x)},${round(s.y)} Q${round(control.x)},${round(control.y)} ${round(t.x)},${round(t.y)}`;
  return `M${round(s.x)},${round(s.y)} L${round(t.x)},${round(t.y)}`;
}

function middle(edge) {
  const { source: s, target: t, control: c } = edge;
  if (!c) return { x: (s.x + t.x) / 2, y: (s.y + t.y) / 2 };
  return { x: 0.25 * s.x + 0.5 * c.x + 0.25 * t.x, y: 0.25 * s.y + 0.5 * c.y + 0.25 * t.y };
}

// The SVG text of `picture` ({nodes, edges}); `ink` is the caption colour
// and `background` the page colour behind the drawing.
export function graphSvg(picture, { ink = '#17202b', background = '#ffffff' } = {}) {
  const box = { x1: Infinity, y1: Infinity, x2: -Infinity, y2: -Infinity };
  for (const node of picture.nodes) {
    box.x1 = Math.min(box.x1, node.x - node.r - 40);
    box.x2 = Math.max(box.x2, node.x + node.r + 40);
    box.y1 = Math.min(box.y1, node.y - node.r);
    box.y2 = Math.max(box.y2, node.y + node.r + 14);
  }
  if (!picture.nodes.length) Object.assign(box, { x1: 0, y1: 0, x2: 1, y2: 1 });
  const pad = 20;
  const width = Math.max(round(box.x2 - box.x1 + 2 * pad), 1);
  const height = Math.max(round(box.y2 - box.y1 + 2 * pad), 1);
  const root = svg('svg', { width, height,
    viewBox: `${round(box.x1 - pad)} ${round(box.y1 - pad)} ${width} ${height}`, 'font-family': 'sans-serif' });
  const defs = svg('defs', {});
  const markers = new Map();
  const marker = (colour) => {
    if (!markers.has(colour)) {
      const id = `arrow${markers.size}`;
      defs.append(svg('marker', { id, viewBox: '0 0 10 10', refX: '9', refY: '5', markerWidth: '7', markerHeight: '7',
        orient: 'auto-start-reverse' }, svg('path', { d: 'M0,0 L10,5 L0,10 z', fill: colour })));
      markers.set(colour, id);
    }
    return markers.get(colour);
  };
  root.append(defs, svg('rect', { x: round(box.x1 - pad), y: round(box.y1 - pad), width, height, fill: background }));
  const edges = svg('g', { class: 'relationships' });
  for (const edge of picture.edges) {
    const colour = edge.colour || '#8391a2';
    edges.append(svg('path', { d: edgePath(edge), fill: 'none', stroke: colour, 'stroke-width': '1.5',
      'marker-end': `url(#${marker(colour)})`, 'data-id': edge.key }));
    const mid = middle(edge);
    edges.append(svg('text', { x: round(mid.x), y: round(mid.y - 3), 'font-size': '8', fill: ink, 'text-anchor': 'middle' },
      String(edge.type ?? '')));
  }
  const nodes = svg('g', { class: 'nodes' });
  for (const node of picture.nodes) {
    nodes.append(
      svg('circle', { cx: round(node.x), cy: round(node.y), r: round(node.r), fill: node.colour, stroke: '#ffffff',
        'stroke-width': '1.5', 'data-id': node.key }),
      svg('text', { x: round(node.x), y: round(node.y + node.r + 11), 'font-size': '10', fill: ink, 'text-anchor': 'middle' },
        String(node.caption ?? '')));
  }
  root.append(edges, nodes);
  return `<?xml version="1.0" encoding="UTF-8"?>\n${new XMLSerializer().serializeToString(root)}\n`;
}
