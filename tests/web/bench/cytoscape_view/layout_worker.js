// The force layout, off the main thread. The page posts {nodes: [{id, x, y,
// size, locked}], edges: [{id, source, target}], options} and gets back
// {positions: {id: {x, y}}} once cytoscape's cose layout has run its
// iterations over a headless copy of the graph (no renderer; a style only
// for the node sizes, which the layout needs to keep nodes from overlapping).
// Locked (pinned) nodes stay where they are. Running it here keeps the page
// responsive however long the layout takes; the page then moves the drawn
// nodes to their places in one short animation.

import cytoscape from '../../vendor/cytoscape.esm.js';

self.onmessage = (event) => {
  const { nodes, edges, options } = event.data;
  const cy = cytoscape({
    headless: true, styleEnabled: true,
    style: [{ selector: 'node', style: { width: 'data(size)', height: 'data(size)' } }],
    elements: [
      ...nodes.map((n) => ({ group: 'nodes', data: { id: n.id, size: n.size }, position: { x: n.x, y: n.y }, locked: n.locked })),
      ...edges.map((e) => ({ group: 'edges', data: e })),
    ],
  });
  cy.layout({
    ...options, name: 'cose', animate: false, fit: false, randomize: false,
    nodeRepulsion: () => options.nodeRepulsion, idealEdgeLength: () => options.idealEdgeLength,
  }).run();
  const positions = {};
  cy.nodes().forEach((node) => { positions[node.id()] = node.position(); });
  self.postMessage({ positions });
};
