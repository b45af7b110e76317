// A drawn graph as a standalone SVG document, built from the node
// positions and the edge geometry cytoscape computed: circles in the
// label colour, captions below, relationships as straight or quadratic
// paths (parallel ones keep their bend) with an arrowhead and the type at
// the middle. Every text goes in through the DOM, so names cannot inject
// markup.

import { svg } from '../dom.js';

function round(value) {
  return Math.round(value * 10) / 10;
}

function finite(point) {
  return point && Number.isFinite(point.x) && Number.isFinite(point.y);
}

// An edge the renderer has not laid out yet (hidden, or never on screen)
// has no endpoints: it is drawn between its nodes' centres instead.
function edgePath(edge) {
  const endpoints = [edge.sourceEndpoint(), edge.targetEndpoint()];
  const [s, t] = endpoints.every(finite) ? endpoints : [edge.source().position(), edge.target().position()];
  const controls = edge.controlPoints && edge.controlPoints();
  if (controls && controls.length === 1 && finite(controls[0])) {
    const c = controls[0];
    return `M${round(s.x)},${round(s.y)} Q${round(c.x)},${round(c.y)} ${round(t.x)},${round(t.y)}`;
  }
  return `M${round(s.x)},${round(s.y)} L${round(t.x)},${round(t.y)}`;
}

// The SVG text of `cy`'s visible elements; `ink` is the caption colour and
// `background` the page colour behind the drawing.
export function graphSvg(cy, { ink = '#17202b', background = '#ffffff' } = {}) {
  const box = cy.elements(':visible').boundingBox();
  const pad = 20;
  const width = Math.max(round(box.w + 2 * pad), 1);
  const height = Math.max(round(box.h + 2 * pad), 1);
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
  cy.edges(':visible').forEach((edge) => {
    const colour = edge.data('colour') || '#8391a2';
    edges.append(svg('path', { d: edgePath(edge), fill: 'none', stroke: colour, 'stroke-width': '1.5',
      'marker-end': `url(#${marker(colour)})`, 'data-id': edge.id() }));
    const middle = edge.midpoint();
    const [a, b] = [edge.source().position(), edge.target().position()];
    const mid = finite(middle) ? middle : { x: (a.x + b.x) / 2, y: (a.y + b.y) / 2 };
    edges.append(svg('text', { x: round(mid.x), y: round(mid.y - 3), 'font-size': '8', fill: ink, 'text-anchor': 'middle' },
      String(edge.data('type') ?? '')));
  });
  const nodes = svg('g', { class: 'nodes' });
  cy.nodes(':visible').forEach((node) => {
    const p = node.position();
    const r = node.width() / 2;
    nodes.append(
      svg('circle', { cx: round(p.x), cy: round(p.y), r: round(r), fill: node.data('colour'), stroke: '#ffffff',
        'stroke-width': '1.5', 'data-id': node.id() }),
      svg('text', { x: round(p.x), y: round(p.y + r + 11), 'font-size': '10', fill: ink, 'text-anchor': 'middle' },
        String(node.data('caption') ?? '')));
  });
  root.append(edges, nodes);
  return `<?xml version="1.0" encoding="UTF-8"?>\n${new XMLSerializer().serializeToString(root)}\n`;
}
