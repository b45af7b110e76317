// The WebGL candidate for the graph view, bundled by the console bench with
// esbuild into one script: a graphology multigraph (so parallel
// relationships stay apart, keyed by relationship id) drawn by sigma, with
// ForceAtlas2 running in its Web Worker. The bench page calls
// window.drawWithSigma(container, {nodes, rels}) and reads the handle back.

import Graph from 'graphology';
import Sigma from 'sigma';
import FA2Layout from 'graphology-layout-forceatlas2/worker';

const PALETTE = ['#4c8eda', '#f79767', '#57c7e3', '#f16667', '#d9c8ae', '#8dcc93', '#ecb5c9', '#ffc454'];

window.drawWithSigma = (container, { nodes, rels }) => {
  const graph = new Graph({ multi: true, type: 'directed', allowSelfLoops: true });
  const labels = new Map();
  nodes.forEach((node, i) => {
    if (!labels.has(node.label)) labels.set(node.label, PALETTE[labels.size % PALETTE.length]);
    const angle = (2 * Math.PI * i) / nodes.length;
    const radius = 10 + 90 * Math.sqrt(i / nodes.length);
    graph.addNode(`n${node.id}`, { x: radius * Math.cos(angle), y: radius * Math.sin(angle), size: 4,
      label: node.name, color: labels.get(node.label) });
  });
  for (const rel of rels) {
    graph.addDirectedEdgeWithKey(`r${rel.id}`, `n${rel.src}`, `n${rel.dst}`, { label: rel.type, color: '#a5abb6', size: 1 });
  }
  const renderer = new Sigma(graph, container, { defaultEdgeType: 'arrow', renderEdgeLabels: false, labelRenderedSizeThreshold: 8 });
  const layout = new FA2Layout(graph, { settings: { barnesHutOptimize: true, gravity: 1, scalingRatio: 10 } });
  layout.start();
  return { graph, renderer, layout };
};
