// The graph view: a force-directed drawing (cytoscape's cose layout) of
// the nodes and relationships of an explore result, or of the node objects
// of a row result. Colours and captions follow the :style document.
// Click a node to open the inspector; double-click to add its one-hop
// neighbourhood. Captions are drawn on the canvas, never as markup.

import cytoscape from '../../vendor/cytoscape.esm.js';
import { el, button } from '../dom.js';
import { nodeColour, relColour, caption, textOn } from '../style.js';
import { postJson } from '../api.js';
import { isNodeObject, labelsOf } from './node_chip.js';
import { dataTable } from './table.js';

function cssVar(name) {
  return getComputedStyle(document.documentElement).getPropertyValue(name).trim() || '#333333';
}

function nodeElement(node) {
  const colour = nodeColour(node.label);
  return {
    group: 'nodes',
    data: { id: `n${node.id}`, nid: node.id, label: node.label || 'Node', caption: caption(node), colour,
      ink: textOn(colour) },
  };
}

// A relationship's element id: its own id, so parallel relationships are
// drawn apart; an answer without relationship ids falls back to its ends
// and type.
function relId(rel) {
  return Number.isInteger(rel.id) ? `r${rel.id}` : `r${rel.src}-${rel.type}-${rel.dst}`;
}

function relElement(rel) {
  return {
    group: 'edges',
    data: { id: relId(rel), source: `n${rel.src}`, target: `n${rel.dst}`, type: rel.type,
      colour: relColour(rel.type) },
  };
}

function graphStyle() {
  return [
    { selector: 'node', style: {
      'background-color': 'data(colour)', label: 'data(caption)', color: cssVar('--text'),
      'font-size': 10, 'text-valign': 'bottom', 'text-margin-y': 3, 'text-max-width': 90, 'text-wrap': 'ellipsis',
      width: 22, height: 22, 'border-width': 1.5, 'border-color': cssVar('--node-ring') } },
    { selector: 'node:selected', style: { 'border-width': 4, 'border-color': cssVar('--accent') } },
    { selector: 'edge', style: {
      width: 1.3, 'line-color': 'data(colour)', 'target-arrow-color': 'data(colour)', 'target-arrow-shape': 'triangle',
      'curve-style': 'bezier', 'arrow-scale': 0.8, opacity: 0.75 } },
  ];
}

// Draws `nodes` ({id,label,name,topic,labels?,properties?}) and `rels`
// ({src,dst,type,id?}).
function drawGraph(holder, nodes, rels, context) {
  const canvas = el('div', { class: 'graph-canvas', role: 'img',
    'aria-label': `Graph of ${nodes.length} nodes and ${rels.length} relationships; the Table view lists them` });
  const summary = el('span', { class: 'graph-summary', role: 'status' });
  const legend = el('div', { class: 'legend', 'aria-label': 'Labels' });
  const toolbar = el('div', { class: 'graph-toolbar' }, summary, legend);
  holder.append(toolbar, canvas);

  const ids = new Set(nodes.map((n) => n.id));
  const elements = [
    ...nodes.map(nodeElement),
    ...rels.filter((r) => ids.has(r.src) && ids.has(r.dst)).map(relElement),
  ];
  const cy = cytoscape({
    container: canvas, elements, style: graphStyle(), wheelSensitivity: 0.3, minZoom: 0.1, maxZoom: 4,
    layout: { name: 'cose', animate: false, randomize: true, nodeRepulsion: () => 6000, idealEdgeLength: () => 60,
      numIter: 600 },
  });
  canvas.cy = cy; // reachable from the page, for the browser tests and the curious
  // Fits the graph to the canvas; a few nodes would otherwise be blown up
  // to fill all of it.
  const frame = () => {
    cy.fit(undefined, 20);
    if (cy.zoom() > 1.6) {
      cy.zoom(1.6);
      cy.center();
    }
  };
  frame();
  // The canvas changes size when the inspector or the side panel opens, or
  // the window narrows: the view follows until the user pans or zooms.
  let userMoved = false;
  cy.on('dragpan scrollzoom', () => { userMoved = true; });
  new ResizeObserver(() => {
    cy.resize();
    if (!userMoved) frame();
  }).observe(canvas);

  const update = () => {
    summary.textContent = `${cy.nodes().length} nodes · ${cy.edges().length} relationships`;
    canvas.dataset.nodes = String(cy.nodes().length);
    canvas.dataset.rels = String(cy.edges().length);
    const counts = new Map();
    cy.nodes().forEach((n) => counts.set(n.data('label'), (counts.get(n.data('label')) || 0) + 1));
    legend.replaceChildren(...[...counts].map(([label, count]) => {
      const dot = el('span', { class: 'chip-dot', 'aria-hidden': 'true' });
      dot.style.background = nodeColour(label);
      return el('span', { class: 'legend-item' }, dot, `${label} (${count})`);
    }));
  };
  update();

  cy.on('tap', 'node', (event) => context.openNode(event.target.data('nid')));
  cy.on('dbltap', 'node', async (event) => {
    const node = event.target;
    try {
      const more = await postJson('/v1/explore', { id: node.data('nid'), hops: 1 });
      const fresh = (more.nodes || []).filter((n) => cy.getElementById(`n${n.id}`).empty());
      const centre = node.position();
      cy.add(fresh.map((n, i) => ({ ...nodeElement(n), position: {
        x: centre.x + 70 * Math.cos((2 * Math.PI * i) / Math.max(fresh.length, 1)),
        y: centre.y + 70 * Math.sin((2 * Math.PI * i) / Math.max(fresh.length, 1)) } })));
      const newRels = (more.rels || []).filter((r) =>
        cy.getElementById(`n${r.src}`).nonempty() && cy.getElementById(`n${r.dst}`).nonempty() &&
        cy.getElementById(relId(r)).empty());
      cy.add(newRels.map(relElement));
      update();
      cy.layout({ name: 'cose', animate: true, animationDuration: 350, randomize: false, fit: false,
        nodeRepulsion: () => 6000, idealEdgeLength: () => 60, numIter: 300 }).run();
    } catch (error) {
      summary.textContent = `Expanding failed: ${error.message}`;
    }
  });

  toolbar.prepend(
    button('Fit', () => { userMoved = false; frame(); }, { title: 'Fit the graph to the view' }),
    button('Re-layout', () => cy.layout({ name: 'cose', animate: true, animationDuration: 400 }).run()),
    button('Zoom in', () => cy.zoom({ level: cy.zoom() * 1.25, renderedPosition: { x: canvas.clientWidth / 2, y: canvas.clientHeight / 2 } })),
    button('Zoom out', () => cy.zoom({ level: cy.zoom() / 1.25, renderedPosition: { x: canvas.clientWidth / 2, y: canvas.clientHeight / 2 } })),
  );
  if (nodes.length === 0) canvas.append(el('p', { class: 'muted graph-empty' }, 'No nodes to draw.'));
}

// Re-applies the theme's colours to every drawn graph.
export function restyleGraphs() {
  document.querySelectorAll('.graph-canvas').forEach((canvas) => {
    if (canvas.cy) canvas.cy.style(graphStyle());
  });
}

export function renderGraphResult(holder, result, context) {
  drawGraph(holder, result.nodes || [], result.rels || [], context);
}

// The answer's graph arrays: every node, relationship and path the rows
// carry, each once. An answer without them (an older server) draws the
// node objects of the rows, without relationships.
export function renderRowsGraph(holder, result, context) {
  if (Array.isArray(result.nodes) && result.nodes.length > 0) {
    drawGraph(holder, result.nodes, result.rels || [], context);
    return;
  }
  const seen = new Map();
  for (const row of result.data.rows || []) {
    for (const value of row) {
      if (isNodeObject(value) && !seen.has(value.id)) {
        seen.set(value.id, { id: value.id, label: labelsOf(value)[0], name: value.properties.name, properties: value.properties });
      }
    }
  }
  drawGraph(holder, [...seen.values()], [], context);
}

export function renderGraphTable(holder, result, context) {
  const nodes = result.nodes || [];
  const rels = result.rels || [];
  holder.append(
    el('h3', {}, `Nodes (${nodes.length})`),
    dataTable(['node', 'topic'], nodes.map((n) => [{ ...n, properties: { name: n.name } }, n.topic]), context),
    el('h3', {}, `Relationships (${rels.length})`),
    dataTable(['source', 'type', 'target'], rels.map((r) => [r.src, r.type, r.dst]), context));
}
