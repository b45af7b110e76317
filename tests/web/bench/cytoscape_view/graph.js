// The graph view: the nodes and relationships of an answer drawn with
// cytoscape, as Neo4j Browser draws them. Relationships come from the
// answer (its `rels` and the relationship and path values of its rows);
// an answer of nodes alone is connected with one bounded statement that
// fetches the relationships among its nodes. Parallel relationships are
// separate curved edges, keyed by relationship id.
//
// Colours, sizes and captions follow style.js (the user's legend choices,
// then the server's :style, then the palette). Edge widths and arrowheads
// are restyled after each zoom so they stay between about 1 and 3.5 screen
// pixels at any zoom. A click opens the inspector (node or relationship);
// a double-click adds the node's neighbours in both directions; the
// inspector can hide a node or pin it where it is. Captions are drawn on
// the canvas, never as markup.

import cytoscape from '../../vendor/cytoscape.esm.js';
import { el, button } from '../dom.js';
import { nodeColour, nodeSize, relColour, caption, textOn, noteLabels, onStyleChange } from '../style.js';
import { graphOf, relationshipsAmong, neighbourhood } from './graph_data.js';
import { initialLayout, relax } from './graph_layout.js';
import { renderLegend } from './graph_legend.js';
import { dataTable } from './table.js';

function cssVar(name) {
  return getComputedStyle(document.documentElement).getPropertyValue(name).trim() || '#333333';
}

function nodeElement(node) {
  const colour = nodeColour(node.label);
  return {
    group: 'nodes',
    data: { id: `n${node.id}`, nid: node.id, label: node.label || 'Node', labels: node.labels || [node.label],
      name: node.name, properties: node.properties, elementId: node.elementId, caption: caption(node), colour,
      ink: textOn(colour), size: nodeSize(node.label) },
  };
}

function relElement(rel) {
  return {
    group: 'edges',
    data: { id: rel.key || `r${rel.id}`, rid: rel.id, source: `n${rel.src}`, target: `n${rel.dst}`, type: rel.type,
      properties: rel.properties, elementId: rel.elementId, colour: relColour(rel.type) },
  };
}

// Model-space widths that show as 1.1 to 3.5 screen pixels at `zoom`.
function edgeWidth(zoom) {
  return Math.min(Math.max(1.6, 1.1 / zoom), 3.5 / zoom);
}

// Past this many relationships their type is drawn only when zoomed in: at
// overview zoom thousands of labels are unreadable and cost a second a frame.
const LABELLED_EDGES = 400;

function graphStyle(zoom = 1, edges = 0) {
  const width = edgeWidth(zoom);
  const edgeLabel = edges <= LABELLED_EDGES || zoom >= 0.9 ? 'data(type)' : '';
  return [
    { selector: 'node', style: {
      'background-color': 'data(colour)', label: 'data(caption)', color: cssVar('--text'),
      'font-size': 10, 'text-valign': 'bottom', 'text-margin-y': 3, 'text-max-width': 110, 'text-wrap': 'ellipsis',
      'min-zoomed-font-size': 6, width: 'data(size)', height: 'data(size)', 'border-width': 1.5,
      'border-color': cssVar('--node-ring'),
      // Captions sit on a faint plate of the canvas colour, so the lines and
      // relationship types they cross do not make them unreadable.
      'text-background-color': cssVar('--surface-2'), 'text-background-opacity': 0.75,
      'text-background-padding': 1, 'text-background-shape': 'roundrectangle' } },
    { selector: 'node:selected', style: { 'border-width': 4, 'border-color': cssVar('--accent') } },
    { selector: 'node.pinned', style: { 'border-style': 'double', 'border-width': 4, 'border-color': cssVar('--text') } },
    { selector: 'edge', style: {
      width, 'line-color': 'data(colour)', 'target-arrow-color': 'data(colour)', 'target-arrow-shape': 'triangle',
      'arrow-scale': 1.1, 'curve-style': 'straight', opacity: 0.85,
      label: edgeLabel, 'font-size': 8, color: cssVar('--muted'), 'text-rotation': 'autorotate',
      'text-background-color': cssVar('--surface-2'), 'text-background-opacity': 0.85, 'text-background-padding': 1,
      'min-zoomed-font-size': 7 } },
    // Only relationships that share their two nodes with another are bent
    // apart: the renderer's search for parallel edges costs a lot over
    // thousands of straight ones.
    { selector: 'edge[?parallel]', style: { 'curve-style': 'bezier', 'control-point-step-size': 36 } },
    { selector: 'edge:selected', style: { 'line-color': cssVar('--accent'), 'target-arrow-color': cssVar('--accent'), opacity: 1 } },
  ];
}

// Marks the edges of `cy` that share their pair of nodes (in either
// direction) with another edge as parallel.
function markParallel(cy) {
  const pairs = new Map();
  cy.edges().forEach((edge) => {
    const [a, b] = [edge.data('source'), edge.data('target')].sort();
    const key = `${a} ${b}`;
    pairs.set(key, (pairs.get(key) || 0) + 1);
  });
  cy.batch(() => cy.edges().forEach((edge) => {
    const [a, b] = [edge.data('source'), edge.data('target')].sort();
    const parallel = pairs.get(`${a} ${b}`) > 1;
    if (Boolean(edge.data('parallel')) !== parallel) edge.data('parallel', parallel);
  }));
}

// A handle on one drawn graph, handed to the inspector and the exporters.
class DrawnGraph {
  constructor(cy, canvas, update, context, refit) {
    this.cy = cy;
    this.canvas = canvas;
    this.update = update;
    this.context = context;
    this.refit = refit;
    this.layout = null;
  }

  // Runs the force layout (stopping one still running); the canvas says
  // data-layout="running" until the nodes are in place, then "done".
  settle() {
    if (this.layout) this.layout.stop();
    // Without relationships a force layout only squeezes the rings together.
    if (this.cy.edges().length === 0) {
      this.canvas.dataset.layout = 'done';
      this.refit();
      return;
    }
    this.canvas.dataset.layout = 'running';
    this.layout = relax(this.cy, { done: () => {
      this.canvas.dataset.layout = 'done';
      this.refit();
    } });
  }

  hide(id) {
    this.cy.getElementById(id).remove();
    this.update();
    this.context.closeInspector();
  }

  togglePin(id) {
    const node = this.cy.getElementById(id);
    if (node.locked()) node.unlock().removeClass('pinned');
    else node.lock().addClass('pinned');
    return node.locked();
  }

  // Adds the neighbours of node `id` (both directions) around it, with
  // every relationship among the drawn nodes; resolves to how many nodes
  // were added.
  async expand(id) {
    const node = this.cy.getElementById(id);
    const more = await neighbourhood(node.data('nid'));
    const fresh = more.nodes.filter((n) => this.cy.getElementById(`n${n.id}`).empty());
    // The drawing's labels with the new ones, so a new label takes a colour
    // none of the drawn ones has.
    noteLabels([...this.cy.nodes().map((n) => n.data('label')), ...fresh.map((n) => n.label)]);
    const centre = node.position();
    const ring = 50 + 6 * fresh.length;
    this.cy.add(fresh.map((n, i) => ({ ...nodeElement(n), position: {
      x: centre.x + ring * Math.cos((2 * Math.PI * i) / Math.max(fresh.length, 1)),
      y: centre.y + ring * Math.sin((2 * Math.PI * i) / Math.max(fresh.length, 1)) } })));
    // The new nodes' relationships with each other and with the rest of
    // the drawing, not only with the expanded node, as Neo4j Browser does.
    const among = fresh.length ? await relationshipsAmong(this.cy.nodes().map((n) => n.data('nid'))) : [];
    const rels = [...more.rels, ...among].filter((r) => this.cy.getElementById(r.key).empty() &&
      this.cy.getElementById(`n${r.src}`).nonempty() && this.cy.getElementById(`n${r.dst}`).nonempty());
    this.cy.add([...new Map(rels.map((r) => [r.key, r])).values()].map(relElement));
    this.update();
    if (fresh.length) this.settle();
    return fresh.length;
  }
}

function inspectNode(graph, node) {
  const explore = graph.explorable ? { expand: () => graph.expand(node.id()) } : {};
  graph.context.inspect({
    kind: 'node', id: node.data('nid'), elementId: node.data('elementId'), labels: node.data('labels'),
    caption: node.data('caption'), colour: node.data('colour'), properties: node.data('properties'),
    pinned: node.locked(),
    actions: {
      ...explore,
      hide: () => graph.hide(node.id()),
      pin: () => graph.togglePin(node.id()),
    },
  });
}

function inspectRel(graph, edge) {
  graph.context.inspect({
    kind: 'relationship', id: edge.data('rid'), elementId: edge.data('elementId'), type: edge.data('type'),
    start: edge.source().data('nid'), end: edge.target().data('nid'), colour: edge.data('colour'),
    caption: '', properties: edge.data('properties'),
  });
}

// Draws `graph` ({nodes, rels}) into `holder`; `connect` asks to fetch the
// relationships among the nodes when the answer carried none; `explorable`
// false draws nodes that are not stored nodes (a schema's labels), which
// cannot be expanded. Returns the DrawnGraph.
export function drawGraph(holder, graph, context, { connect = false, explorable = true } = {}) {
  const { nodes } = graph;
  const canvas = el('div', { class: 'graph-canvas', role: 'img',
    'aria-label': `Graph of ${nodes.length} nodes; the Table view lists them` });
  const summary = el('span', { class: 'graph-summary', role: 'status' });
  const legend = el('div', { class: 'legend', 'aria-label': 'Labels: open one to change its colour, size and caption' });
  const toolbar = el('div', { class: 'graph-toolbar' }, summary, legend);
  holder.append(toolbar, canvas);

  noteLabels(nodes.map((n) => n.label));
  const ids = new Set(nodes.map((n) => n.id));
  const elements = [
    ...nodes.map(nodeElement),
    ...graph.rels.filter((r) => ids.has(r.src) && ids.has(r.dst)).map(relElement),
  ];
  // Until the relationships of nodes alone arrive, style as if there were
  // many, so a large answer is styled once.
  let styledEdges = connect ? LABELLED_EDGES + 1 : elements.length - nodes.length;
  const cy = cytoscape({
    container: canvas, elements, style: graphStyle(1, styledEdges), wheelSensitivity: 0.3, minZoom: 0.05, maxZoom: 4,
    layout: initialLayout(nodes.length),
    // Large drawings pan and zoom as a picture, redrawn when the motion stops.
    textureOnViewport: nodes.length > 300, hideEdgesOnViewport: graph.rels.length > 1500,
  });
  canvas.cy = cy; // reachable from the page, for the browser tests and the curious

  // Fits the graph to the canvas; a few nodes would otherwise be blown up
  // to fill all of it.
  let userMoved = false;
  const frame = () => {
    cy.fit(undefined, 24);
    if (cy.zoom() > 1.6) {
      cy.zoom(1.6);
      cy.center();
    }
  };
  frame();
  let zoomTimer = 0;
  cy.on('zoom', () => {
    window.clearTimeout(zoomTimer);
    zoomTimer = window.setTimeout(() => cy.style(graphStyle(cy.zoom(), cy.edges().length)), 60);
  });
  cy.on('dragpan scrollzoom pinchzoom', () => { userMoved = true; });
  // The canvas changes size when the inspector or the side panel opens, or
  // the window narrows: the view follows until the user pans or zooms.
  new ResizeObserver(() => {
    cy.resize();
    if (!userMoved) frame();
  }).observe(canvas);

  const update = () => {
    markParallel(cy);
    // Restyling every element is not free: only when the label rule flips.
    if ((cy.edges().length <= LABELLED_EDGES) !== (styledEdges <= LABELLED_EDGES)) cy.style(graphStyle(cy.zoom(), cy.edges().length));
    styledEdges = cy.edges().length;
    summary.textContent = `${cy.nodes().length} nodes · ${cy.edges().length} relationships`;
    canvas.dataset.nodes = String(cy.nodes().length);
    canvas.dataset.rels = String(cy.edges().length);
    renderLegend(legend, cy);
  };
  update();
  const drawn = new DrawnGraph(cy, canvas, update, context, () => { if (!userMoved) frame(); });
  drawn.explorable = explorable;
  const settle = () => drawn.settle();
  if (connect && nodes.length > 1) {
    canvas.dataset.connecting = 'true';
    relationshipsAmong([...ids]).then((rels) => {
      const drawnIds = new Set(cy.edges().map((e) => e.id()));
      cy.add(rels.filter((r) => !drawnIds.has(r.key)).map(relElement));
      update();
    }).catch((error) => {
      summary.textContent = `${summary.textContent} · relationships not fetched: ${error.message}`;
    }).finally(() => {
      delete canvas.dataset.connecting;
      settle();
    });
  } else {
    settle();
  }

  // Follow the user's legend choices while this canvas is on the page.
  const unsubscribe = onStyleChange(() => {
    if (!canvas.isConnected) {
      unsubscribe();
      return;
    }
    cy.batch(() => cy.nodes().forEach((node) => {
      const flat = { id: node.data('nid'), label: node.data('label'), name: node.data('name'), properties: node.data('properties') };
      const colour = nodeColour(flat.label);
      node.data({ colour, ink: textOn(colour), size: nodeSize(flat.label), caption: caption(flat) });
    }));
    update();
  });

  cy.on('tap', 'node', (event) => inspectNode(drawn, event.target));
  cy.on('tap', 'edge', (event) => inspectRel(drawn, event.target));
  cy.on('dbltap', 'node', async (event) => {
    if (!explorable) return;
    try {
      await drawn.expand(event.target.id());
    } catch (error) {
      summary.textContent = `Expanding failed: ${error.message}`;
    }
  });

  const centre = () => ({ x: canvas.clientWidth / 2, y: canvas.clientHeight / 2 });
  toolbar.prepend(
    button('Fit', () => { userMoved = false; frame(); }, { title: 'Fit the graph to the view' }),
    button('Re-layout', () => { userMoved = false; settle(); }, { title: 'Run the force layout again' }),
    button('Zoom in', () => cy.zoom({ level: cy.zoom() * 1.25, renderedPosition: centre() })),
    button('Zoom out', () => cy.zoom({ level: cy.zoom() / 1.25, renderedPosition: centre() })),
  );
  if (nodes.length === 0) canvas.append(el('p', { class: 'muted graph-empty' }, 'No nodes to draw.'));
  return drawn;
}

// Re-applies the theme's colours to every drawn graph.
export function restyleGraphs() {
  document.querySelectorAll('.graph-canvas').forEach((canvas) => {
    if (canvas.cy) canvas.cy.style(graphStyle(canvas.cy.zoom(), canvas.cy.edges().length));
  });
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
