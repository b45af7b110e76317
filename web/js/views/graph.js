// The graph view: the nodes and relationships of an answer drawn with sigma
// (WebGL) over a graphology multigraph, as Neo4j Browser draws them.
// Relationships come from the answer (its `rels` and the relationship and
// path values of its rows); an answer of nodes alone is connected with one
// bounded statement that fetches the relationships among its nodes.
// Relationships are keyed by their id, so parallel ones stay apart; those
// that share their two nodes are drawn as curves bent to either side.
//
// Responsiveness at thousands of nodes: the first frame needs no layout
// (nodes start on a spiral) and no long task (a large graph is handed to
// the renderer in slices, one a frame); ForceAtlas2 refines the
// placement in a worker (graph_layout.js). Pixels are graph_render.js's.
//
// Colours, sizes and captions follow style.js (the user's legend choices,
// then the server's :style, then the palette). A click opens the inspector
// (node, or the relationship nearest the pointer); a double-click adds the
// node's neighbours in both directions; nodes can be dragged; the inspector
// can hide a node or pin it where it is. Captions are drawn on the canvas,
// never as markup.
//
// WebGL contexts are few per page (Chromium keeps 16), and a session holds
// many frames: a drawing keeps its renderer only while near the viewport,
// and makes a new one from its model when it comes back.
//
// The canvas element carries `view`, a small handle on the drawing for the
// exporters, the browser tests and the curious: the drawn nodes and edges as
// plain data, screen points, zoom and edge width, a snapshot and the SVG
// picture. It names no renderer type.

import { Graph } from '../../vendor/graph_engine.js';
import { el, button } from '../dom.js';
import { nodeColour, nodeSize, relColour, caption, noteLabels, onStyleChange } from '../style.js';
import { graphOf, relationshipsAmong, neighbourhood } from './graph_data.js';
import { ForceLayout, spiralPoint } from './graph_layout.js';
import { renderLegend } from './graph_legend.js';
import { createRenderer, inks, radiusFor, edgeWidthPx, snapshot, CURVATURE, EDGE_SIZE, LABELLED_EDGES } from './graph_render.js';
import { dataTable } from './table.js';

// Items handed to the renderer per animation frame while a graph loads:
// the renderer re-reads what it holds on each frame, so a slice a frame
// keeps every task short.
const SLICE = 1500;
// Drawings with up to this many items are handed over at once.
const AT_ONCE = 3000;
// Zoom (1 = fitted) from which relationship types are drawn in a large drawing.
const TEXT_ZOOM = 3;
// Pixels from a relationship within which a click picks it.
const EDGE_HIT_PX = 6;

function nodeAttributes(node, count) {
  const diameter = nodeSize(node.label);
  return {
    nid: node.id, kind: node.label || 'Node', labels: node.labels || [node.label], name: node.name,
    properties: node.properties, elementId: node.elementId, label: caption(node), color: nodeColour(node.label),
    diameter, size: radiusFor(diameter, count),
  };
}

function relAttributes(rel) {
  return { rid: rel.id, relType: rel.type, label: rel.type, properties: rel.properties, elementId: rel.elementId,
    color: relColour(rel.type), size: EDGE_SIZE, type: 'straight', curvature: 0 };
}

// {type, curvature} of each relationship of `rels` ({key, source, target}):
// relationships that share their pair of nodes (either way round) bend to
// alternate sides, further out the more there are.
function bends(rels) {
  const pairs = new Map();
  for (const rel of rels) {
    const key = rel.source < rel.target ? `${rel.source} ${rel.target}` : `${rel.target} ${rel.source}`;
    if (!pairs.has(key)) pairs.set(key, []);
    pairs.get(key).push(rel);
  }
  const out = new Map();
  for (const group of pairs.values()) {
    group.forEach((rel, i) => {
      if (group.length < 2) {
        out.set(rel.key, { type: 'straight', curvature: 0 });
        return;
      }
      const side = i % 2 ? -1 : 1;
      const step = Math.min(Math.ceil((i + 1) / 2), 4) * side * (rel.source <= rel.target ? 1 : -1);
      out.set(rel.key, { type: 'curved', curvature: CURVATURE * step });
    });
  }
  return out;
}

// Bends every parallel relationship of `graph` (after relationships came).
function bendParallel(graph) {
  const rels = [];
  graph.forEachEdge((key, attr, source, target) => rels.push({ key, source, target }));
  const bent = bends(rels);
  graph.updateEachEdgeAttributes((key, attr) => Object.assign(attr, bent.get(key)), { attributes: ['type', 'curvature'] });
}

// The point on a quadratic curve from `s` to `t` bent by `curvature`, at
// `at` (0..1), in screen coordinates, as the curve program draws it.
function curvePoint(s, t, curvature, at) {
  const c = { x: (s.x + t.x) / 2 - (t.y - s.y) * curvature, y: (s.y + t.y) / 2 + (t.x - s.x) * curvature };
  const u = 1 - at;
  return { x: u * u * s.x + 2 * u * at * c.x + at * at * t.x, y: u * u * s.y + 2 * u * at * c.y + at * at * t.y, c };
}

function segmentDistance(p, a, b) {
  const dx = b.x - a.x;
  const dy = b.y - a.y;
  const length = dx * dx + dy * dy;
  const at = length ? Math.max(0, Math.min(1, ((p.x - a.x) * dx + (p.y - a.y) * dy) / length)) : 0;
  return Math.hypot(p.x - (a.x + at * dx), p.y - (a.y + at * dy));
}

// Frees the renderers of drawings that left the page (a drawing may be
// made before its frame is on the page: only one that was on it counts).
const drawings = new Set();
new MutationObserver(() => {
  for (const drawn of drawings) {
    if (drawn.canvas.isConnected) drawn.seen = true;
    else if (drawn.seen) drawn.destroy();
  }
}).observe(document.documentElement, { childList: true, subtree: true });

// One drawn graph: its model, its renderer while it has one, its layout.
class DrawnGraph {
  constructor(graph, canvas, context, { explorable, summary, legend }) {
    this.graph = graph;
    this.canvas = canvas;
    this.context = context;
    this.explorable = explorable;
    this.summary = summary;
    this.legend = legend;
    this.renderer = null;
    this.layout = null;
    this.userMoved = false;
    this.loading = false;
    this.selected = null;
    this.colours = inks();
    drawings.add(this);
  }

  // Relationship types are drawn when there are few relationships or the
  // view is zoomed in far enough to read them.
  edgeText() {
    if (this.graph.size <= LABELLED_EDGES) return true;
    return this.renderer ? this.renderer.getCamera().ratio <= 1 / TEXT_ZOOM : false;
  }

  // The renderer, made when missing (the drawing came back into view, or a
  // caller needs screen positions).
  ensureRenderer() {
    if (this.renderer || !this.canvas.isConnected) return this.renderer;
    this.renderer = createRenderer(this.graph, this.canvas, this.colours, () => this.edgeText());
    // Sigma finds the node under the pointer by reading a pixel back from
    // the GPU, which waits for every frame still being drawn: on a software
    // renderer a mouse move during panning then blocks the page for as long
    // as a full frame takes (the long tasks of half a second and more the
    // first WebGL measurements showed). Measuring distances here costs a
    // millisecond for thousands of nodes and never waits.
    this.renderer.getNodeAtPosition = (p) => this.nodeAt(p);
    this.bindEvents(this.renderer);
    return this.renderer;
  }

  releaseRenderer() {
    if (!this.renderer) return;
    this.renderer.kill();
    this.renderer = null;
  }

  destroy() {
    drawings.delete(this);
    if (this.layout) this.layout.stop();
    this.releaseRenderer();
    if (this.unsubscribe) this.unsubscribe();
    if (this.watcher) this.watcher.disconnect();
  }

  bindEvents(renderer) {
    let dragged = null;
    let pressed = false;
    renderer.on('clickNode', ({ node }) => this.inspectNode(node));
    renderer.on('clickStage', ({ event }) => {
      const edge = this.edgeAt(event);
      if (edge) this.inspectRel(edge);
    });
    renderer.on('doubleClickNode', async (event) => {
      event.preventSigmaDefault();
      if (!this.explorable) return;
      try {
        await this.expand(event.node);
      } catch (error) {
        this.summary.textContent = `Expanding failed: ${error.message}`;
      }
    });
    renderer.on('downNode', ({ node }) => {
      dragged = node;
      this.graph.setNodeAttribute(node, 'dragged', true);
    });
    renderer.on('moveBody', ({ event, preventSigmaDefault }) => {
      if (!dragged) {
        if (pressed) this.userMoved = true;
        return;
      }
      const point = renderer.viewportToGraph(event);
      this.graph.mergeNodeAttributes(dragged, { x: point.x, y: point.y, fixed: true });
      if (this.layout) this.layout.fix(dragged, point.x, point.y, true);
      preventSigmaDefault();
      event.original.preventDefault();
      event.original.stopPropagation();
    });
    const captor = renderer.getMouseCaptor();
    captor.on('mousedown', () => { pressed = true; });
    captor.on('wheel', () => { this.userMoved = true; });
    const release = () => {
      pressed = false;
      if (!dragged || !this.graph.hasNode(dragged)) {
        dragged = null;
        return;
      }
      const attr = this.graph.getNodeAttributes(dragged);
      this.graph.mergeNodeAttributes(dragged, { dragged: false, fixed: Boolean(attr.pinned) });
      if (this.layout) this.layout.fix(dragged, attr.x, attr.y, Boolean(attr.pinned));
      dragged = null;
    };
    captor.on('mouseup', release);
    captor.on('mouseleave', release);
  }

  // The relationship drawn nearest the viewport point `p`, within a few
  // pixels, or null. A click costs one pass over the relationships; the
  // renderer's own edge picking would cost a second drawing of every
  // relationship on every frame.
  edgeAt(p) {
    const renderer = this.renderer;
    if (!renderer) return null;
    const screen = new Map();
    const at = (key) => {
      if (!screen.has(key)) screen.set(key, renderer.graphToViewport(this.graph.getNodeAttributes(key)));
      return screen.get(key);
    };
    let best = null;
    let bestDistance = EDGE_HIT_PX;
    this.graph.forEachEdge((key, attr, source, target) => {
      const s = at(source);
      const t = at(target);
      let distance;
      if (attr.type === 'curved') {
        distance = Infinity;
        let last = s;
        for (let i = 1; i <= 12; i++) {
          const next = curvePoint(s, t, attr.curvature, i / 12);
          distance = Math.min(distance, segmentDistance(p, last, next));
          last = next;
        }
      } else {
        distance = segmentDistance(p, s, t);
      }
      if (distance < bestDistance) {
        best = key;
        bestDistance = distance;
      }
    });
    return best;
  }

  // The topmost node drawn under the viewport point `p`, or null.
  nodeAt(p) {
    const renderer = this.renderer;
    if (!renderer) return null;
    const scale = 1 / renderer.getRenderParams().sizeRatio;
    let found = null;
    this.graph.forEachNode((key, attr) => {
      const q = renderer.graphToViewport(attr);
      const r = attr.size * scale + 1;
      const dx = q.x - p.x;
      const dy = q.y - p.y;
      if (dx * dx + dy * dy <= r * r) found = key;
    });
    return found;
  }

  select(key) {
    if (this.selected && this.graph.hasNode(this.selected)) {
      this.graph.mergeNodeAttributes(this.selected, { selected: false, forceLabel: Boolean(this.graph.getNodeAttribute(this.selected, 'pinned')) });
    }
    if (this.selectedEdge && this.graph.hasEdge(this.selectedEdge)) {
      this.graph.setEdgeAttribute(this.selectedEdge, 'color', relColour(this.graph.getEdgeAttribute(this.selectedEdge, 'relType')));
    }
    this.selected = null;
    this.selectedEdge = null;
    if (key && this.graph.hasNode(key)) {
      this.selected = key;
      this.graph.mergeNodeAttributes(key, { selected: true, forceLabel: true });
    } else if (key && this.graph.hasEdge(key)) {
      this.selectedEdge = key;
      this.graph.setEdgeAttribute(key, 'color', this.colours.accent);
    }
  }

  inspectNode(key) {
    const attr = this.graph.getNodeAttributes(key);
    this.select(key);
    const explore = this.explorable ? { expand: () => this.expand(key) } : {};
    this.context.inspect({
      kind: 'node', id: attr.nid, elementId: attr.elementId, labels: attr.labels, caption: attr.label,
      colour: attr.color, properties: attr.properties, pinned: Boolean(attr.pinned),
      actions: { ...explore, hide: () => this.hide(key), pin: () => this.togglePin(key) },
    });
  }

  inspectRel(key) {
    const attr = this.graph.getEdgeAttributes(key);
    this.select(key);
    this.context.inspect({
      kind: 'relationship', id: attr.rid, elementId: attr.elementId, type: attr.relType,
      start: this.graph.getNodeAttribute(this.graph.source(key), 'nid'),
      end: this.graph.getNodeAttribute(this.graph.target(key), 'nid'), colour: relColour(attr.relType),
      caption: '', properties: attr.properties,
    });
  }

  // Fits the drawing to the canvas (sigma's camera at rest frames the
  // whole graph), unless the user has moved it since.
  frame(force = false) {
    if (force) this.userMoved = false;
    if (this.userMoved || !this.renderer) return;
    this.renderer.getCamera().setState({ x: 0.5, y: 0.5, ratio: 1, angle: 0 });
  }

  // Runs the force layout (stopping one still running); the canvas says
  // data-layout="running" until the nodes are in place, then "done".
  settle() {
    if (this.layout) this.layout.stop();
    if (this.graph.size === 0) {
      this.canvas.dataset.layout = 'done';
      return;
    }
    this.canvas.dataset.layout = 'running';
    this.layout = new ForceLayout(this.graph, { done: () => {
      this.layout = null;
      this.canvas.dataset.layout = 'done';
    } }).start();
  }

  hide(key) {
    if (this.graph.hasNode(key)) this.graph.dropNode(key);
    if (this.selected === key) this.selected = null;
    this.update();
    this.context.closeInspector();
  }

  togglePin(key) {
    const attr = this.graph.getNodeAttributes(key);
    const pinned = !attr.pinned;
    this.graph.mergeNodeAttributes(key, { pinned, fixed: pinned, forceLabel: pinned || Boolean(attr.selected) });
    if (this.layout) this.layout.fix(key, attr.x, attr.y, pinned);
    return pinned;
  }

  // Adds the neighbours of node `key` (both directions) around it, with
  // every relationship among the drawn nodes; resolves to how many nodes
  // were added.
  async expand(key) {
    const graph = this.graph;
    const more = await neighbourhood(graph.getNodeAttribute(key, 'nid'));
    const fresh = more.nodes.filter((n) => !graph.hasNode(`n${n.id}`));
    // The drawing's labels with the new ones, so a new label takes a colour
    // none of the drawn ones has.
    noteLabels([...graph.mapNodes((k, attr) => attr.kind), ...fresh.map((n) => n.label)]);
    const centre = graph.getNodeAttributes(key);
    const spacing = this.spacing() / 3;
    fresh.forEach((n, i) => {
      graph.addNode(`n${n.id}`, { ...nodeAttributes(n, graph.order + fresh.length), ...spiralPoint(i + 3, spacing, centre) });
    });
    // The new nodes' relationships with each other and with the rest of
    // the drawing, not only with the expanded node, as Neo4j Browser does.
    const among = fresh.length ? await relationshipsAmong(graph.mapNodes((k, attr) => attr.nid)) : [];
    for (const rel of new Map([...more.rels, ...among].map((r) => [r.key, r])).values()) {
      if (graph.hasEdge(rel.key) || !graph.hasNode(`n${rel.src}`) || !graph.hasNode(`n${rel.dst}`)) continue;
      graph.addDirectedEdgeWithKey(rel.key, `n${rel.src}`, `n${rel.dst}`, relAttributes(rel));
    }
    bendParallel(graph);
    this.update();
    if (fresh.length) this.settle();
    return fresh.length;
  }

  // A distance between nodes that suits the drawing's current spread.
  spacing() {
    let minX = Infinity;
    let maxX = -Infinity;
    this.graph.forEachNode((k, attr) => {
      minX = Math.min(minX, attr.x);
      maxX = Math.max(maxX, attr.x);
    });
    const width = Number.isFinite(maxX - minX) ? maxX - minX : 0;
    return width > 0 ? width / Math.sqrt(this.graph.order + 1) : 10;
  }

  update() {
    const { graph, canvas } = this;
    this.summary.textContent = `${graph.order} nodes · ${graph.size} relationships`;
    canvas.dataset.nodes = String(graph.order);
    canvas.dataset.rels = String(graph.size);
    renderLegend(this.legend, graph.mapNodes((k, attr) => attr));
  }

  // Follows the user's legend choices.
  restyle() {
    const count = this.graph.order;
    this.graph.updateEachNodeAttributes((key, attr) => {
      const flat = { id: attr.nid, label: attr.kind, name: attr.name, properties: attr.properties };
      attr.color = nodeColour(attr.kind);
      attr.diameter = nodeSize(attr.kind);
      attr.size = radiusFor(attr.diameter, count);
      attr.label = caption(flat);
      return attr;
    }, { attributes: ['color', 'size', 'label'] });
    this.update();
  }

  // Re-reads the theme's colours.
  retheme() {
    Object.assign(this.colours, inks());
    if (this.renderer) this.renderer.setSetting('edgeLabelColor', { color: this.colours.muted });
  }
}

// The handle the canvas element carries (see the note at the top).
function handle(drawn) {
  const { graph } = drawn;
  const screen = (key) => {
    const renderer = drawn.ensureRenderer();
    renderer.refresh();
    if (graph.hasNode(key)) return renderer.graphToViewport(graph.getNodeAttributes(key));
    const s = renderer.graphToViewport(graph.getNodeAttributes(graph.source(key)));
    const t = renderer.graphToViewport(graph.getNodeAttributes(graph.target(key)));
    const attr = graph.getEdgeAttributes(key);
    const p = attr.type === 'curved' ? curvePoint(s, t, attr.curvature, 0.5) : { x: (s.x + t.x) / 2, y: (s.y + t.y) / 2 };
    return { x: p.x, y: p.y };
  };
  return {
    nodes: () => graph.mapNodes((key, attr) => ({ key, id: attr.nid, label: attr.kind, labels: attr.labels,
      caption: attr.label, colour: attr.color, size: attr.diameter, pinned: Boolean(attr.pinned), elementId: attr.elementId })),
    edges: () => graph.mapEdges((key, attr, source, target) => ({ key, id: attr.rid, type: attr.relType, source, target,
      curved: attr.type === 'curved' && attr.curvature !== 0, text: drawn.edgeText() ? attr.label : '', elementId: attr.elementId })),
    // The point of node or relationship `key` in the canvas, in CSS pixels.
    point: screen,
    // Moves node `key` clear of the others, at the right of the drawing,
    // and returns its point.
    isolate: (key) => {
      let box = null;
      graph.forEachNode((k, attr) => {
        if (k === key) return;
        box = box ? { x1: Math.min(box.x1, attr.x), x2: Math.max(box.x2, attr.x), y1: Math.min(box.y1, attr.y),
          y2: Math.max(box.y2, attr.y) } : { x1: attr.x, x2: attr.x, y1: attr.y, y2: attr.y };
      });
      if (box) {
        const gap = Math.max(box.x2 - box.x1, box.y2 - box.y1, 1) * 0.3;
        graph.mergeNodeAttributes(key, { x: box.x2 + gap, y: (box.y1 + box.y2) / 2 });
      }
      drawn.frame(true);
      return screen(key);
    },
    // Zooms to `level` (1 = fitted, larger = closer), within the camera's limits.
    zoom: (level) => {
      const renderer = drawn.ensureRenderer();
      const camera = renderer.getCamera();
      camera.setState({ ratio: camera.getBoundedRatio(1 / level) });
      renderer.refresh();
      return 1 / camera.ratio;
    },
    edgeWidth: () => edgeWidthPx(drawn.ensureRenderer()),
    fit: () => drawn.frame(true),
    pinned: (key) => Boolean(graph.getNodeAttribute(key, 'pinned')),
    // The drawing as a canvas, for the PNG export.
    snapshot: (background) => snapshot(drawn.ensureRenderer(), background),
    // Node and relationship geometry at the fitted view, for the SVG export.
    picture: () => {
      const renderer = drawn.ensureRenderer();
      renderer.refresh();
      const fitted = { cameraState: { x: 0.5, y: 0.5, ratio: 1, angle: 0 } };
      const points = new Map(graph.mapNodes((key, attr) => [key, renderer.graphToViewport(attr, fitted)]));
      return {
        nodes: graph.mapNodes((key, attr) => ({ key, ...points.get(key), r: attr.size, colour: attr.color, caption: attr.label })),
        edges: graph.mapEdges((key, attr, source, target) => {
          const s = points.get(source);
          const t = points.get(target);
          const bend = attr.type === 'curved' ? curvePoint(s, t, attr.curvature, 0.5) : null;
          return { key, type: attr.relType, colour: attr.color, source: s, target: t, control: bend ? bend.c : null,
            sourceRadius: graph.getNodeAttribute(source, 'size'), targetRadius: graph.getNodeAttribute(target, 'size') };
        }),
      };
    },
  };
}

// Draws `graph` ({nodes, rels}) into `holder`; `connect` asks to fetch the
// relationships among the nodes when the answer carried none; `explorable`
// false draws nodes that are not stored nodes (a schema's labels), which
// cannot be expanded. Returns the DrawnGraph.
export function drawGraph(holder, data, context, { connect = false, explorable = true } = {}) {
  const { nodes } = data;
  const canvas = el('div', { class: 'graph-canvas', role: 'img',
    'aria-label': `Graph of ${nodes.length} nodes; the Table view lists them` });
  const summary = el('span', { class: 'graph-summary', role: 'status' });
  const legend = el('div', { class: 'legend', 'aria-label': 'Labels: open one to change its colour, size and caption' });
  const toolbar = el('div', { class: 'graph-toolbar' }, summary, legend);
  holder.append(toolbar, canvas);

  noteLabels(nodes.map((n) => n.label));
  const graph = new Graph({ multi: true, type: 'directed', allowSelfLoops: true });
  const drawn = new DrawnGraph(graph, canvas, context, { explorable, summary, legend });
  canvas.view = handle(drawn);

  // The model's items in the order they are handed to the renderer.
  const ids = new Set(nodes.map((n) => n.id));
  const rels = data.rels.filter((r) => ids.has(r.src) && ids.has(r.dst) && r.src !== undefined);
  const bent = bends(rels.map((r) => ({ key: r.key, source: `n${r.src}`, target: `n${r.dst}` })));
  const spacing = 10;
  let nodeAt = 0;
  let relAt = 0;
  const feed = (budget) => {
    for (; nodeAt < nodes.length && budget > 0; nodeAt++, budget--) {
      const node = nodes[nodeAt];
      graph.mergeNode(`n${node.id}`, { ...nodeAttributes(node, nodes.length), ...spiralPoint(nodeAt, spacing) });
    }
    for (; relAt < rels.length && budget > 0; relAt++, budget--) {
      const rel = rels[relAt];
      if (graph.hasEdge(rel.key)) continue;
      graph.addDirectedEdgeWithKey(rel.key, `n${rel.src}`, `n${rel.dst}`, { ...relAttributes(rel), ...bent.get(rel.key) });
    }
    return nodeAt < nodes.length || relAt < rels.length;
  };

  const loaded = () => {
    drawn.loading = false;
    drawn.update();
    canvas.dataset.drawn = 'true';
    if (connect && nodes.length > 1) {
      canvas.dataset.connecting = 'true';
      relationshipsAmong([...ids]).then((more) => {
        for (const rel of more) {
          if (graph.hasEdge(rel.key) || !graph.hasNode(`n${rel.src}`) || !graph.hasNode(`n${rel.dst}`)) continue;
          graph.addDirectedEdgeWithKey(rel.key, `n${rel.src}`, `n${rel.dst}`, relAttributes(rel));
        }
        bendParallel(graph);
        drawn.update();
      }).catch((error) => {
        summary.textContent = `${summary.textContent} · relationships not fetched: ${error.message}`;
      }).finally(() => {
        delete canvas.dataset.connecting;
        drawn.settle();
      });
    } else {
      drawn.settle();
    }
  };

  canvas.dataset.layout = 'running';
  const small = nodes.length + rels.length <= AT_ONCE;
  if (small) feed(Infinity);
  drawn.loading = !small;
  // The renderer starts with what the model holds; a large graph follows
  // in slices.
  drawn.ensureRenderer();
  if (small) {
    loaded();
  } else {
    drawn.update();
    const step = () => {
      if (feed(SLICE)) requestAnimationFrame(step);
      else loaded();
    };
    requestAnimationFrame(step);
  }

  // Keep a renderer only while the drawing is near the viewport.
  drawn.watcher = new IntersectionObserver((entries) => {
    const near = entries[entries.length - 1].isIntersecting;
    if (near) {
      drawn.ensureRenderer();
      drawn.frame();
    } else if (!drawn.loading) {
      drawn.releaseRenderer();
    }
  }, { rootMargin: '300px' });
  drawn.watcher.observe(canvas);
  // The canvas changes size when the inspector or the side panel opens, or
  // the window narrows: the view follows until the user pans or zooms.
  new ResizeObserver(() => {
    if (!drawn.renderer) return;
    drawn.renderer.resize();
    drawn.renderer.refresh();
    drawn.frame();
  }).observe(canvas);

  // Follow the user's legend choices while this canvas is on the page.
  drawn.unsubscribe = onStyleChange(() => {
    if (!canvas.isConnected) return;
    drawn.restyle();
  });

  const zoomBy = (factor) => {
    const renderer = drawn.ensureRenderer();
    if (!renderer) return;
    drawn.userMoved = true;
    const camera = renderer.getCamera();
    camera.animate({ ratio: camera.getBoundedRatio(camera.ratio / factor) }, { duration: 150 });
  };
  toolbar.prepend(
    button('Fit', () => drawn.frame(true), { title: 'Fit the graph to the view' }),
    button('Re-layout', () => { drawn.frame(true); drawn.settle(); }, { title: 'Run the force layout again' }),
    button('Zoom in', () => zoomBy(1.25)),
    button('Zoom out', () => zoomBy(1 / 1.25)),
  );
  if (nodes.length === 0) canvas.append(el('p', { class: 'muted graph-empty' }, 'No nodes to draw.'));
  return drawn;
}

// Re-applies the theme's colours to every drawn graph.
export function restyleGraphs() {
  for (const drawn of drawings) drawn.retheme();
}

// Explore answers (kind "graph") and row answers alike: everything the
// answer carries; an answer of nodes alone is connected by a fetch.
export function renderGraph(holder, result, context) {
  const graph = graphOf(result);
  drawGraph(holder, graph, context, { connect: graph.rels.length === 0 && result.kind !== 'graph' });
}

export function renderGraphTable(holder, result, context) {
  const { nodes, rels } = graphOf(result);
  holder.append(
    el('h3', {}, `Nodes (${nodes.length})`),
    dataTable(['node', 'topic'], nodes.map((n) => [{ ...n, properties: n.properties || { name: n.name } },
      (result.nodes || []).find((m) => m.id === n.id)?.topic ?? '']), context),
    el('h3', {}, `Relationships (${rels.length})`),
    dataTable(['source', 'type', 'target'], rels.map((r) => [r.src, r.type, r.dst]), context));
}
