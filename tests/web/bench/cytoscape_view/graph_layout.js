// Placing nodes without freezing the page. A force layout over n nodes
// costs about n² per iteration (some 25 ms per iteration at 850 nodes), so
// running it on the main thread over a few hundred nodes blocks the page
// for seconds. Instead a drawing starts from a cheap placement (concentric
// rings by degree, linear in n), shown at once; cytoscape's cose layout
// then runs in a worker (layout_worker.js) over a headless copy, with an
// iteration count that shrinks as the graph grows, and the drawn nodes
// move to their places (in one 500 ms animation up to ANIMATED_NODES). Where a worker cannot
// start, cose runs here in animated mode, a few iterations per frame.

// Up to this many nodes move to their places in an animation; more jump.
const ANIMATED_NODES = 300;

// Options of the first, cheap placement.
export function initialLayout(count) {
  return {
    name: 'concentric', animate: false, fit: false, minNodeSpacing: count > 300 ? 6 : 18,
    concentric: (node) => node.degree(), levelWidth: () => 2, avoidOverlap: count <= 300,
  };
}

function forceOptions(count) {
  return {
    numIter: count > 600 ? 150 : count > 200 ? 300 : 600,
    nodeRepulsion: 7000, idealEdgeLength: 70, nodeOverlap: 8, gravity: 0.6, padding: 24,
    nodeDimensionsIncludeLabels: false,
  };
}

// The animated fallback on the main thread: `refresh` iterations per frame.
function relaxHere(cy, options, done) {
  const count = cy.nodes().length;
  const layout = cy.layout({
    ...options, name: 'cose', animate: true, animationThreshold: 0, randomize: false, fit: false,
    refresh: Math.max(1, Math.min(20, Math.floor(300000 / Math.max(count * count, 1)))),
    nodeRepulsion: () => options.nodeRepulsion, idealEdgeLength: () => options.idealEdgeLength,
  });
  layout.one('layoutstop', () => done());
  layout.run();
  return { stop: () => layout.stop() };
}

// Runs the force layout over `cy`'s nodes; `done()` is called once they
// are in place (not when stopped). Returns {stop()}.
export function relax(cy, { done = () => {} } = {}) {
  const options = forceOptions(cy.nodes().length);
  let worker;
  try {
    worker = new Worker(new URL('./layout_worker.js', import.meta.url), { type: 'module' });
  } catch {
    return relaxHere(cy, options, done);
  }
  let stopped = false;
  let moving = null;
  worker.onmessage = (event) => {
    worker.terminate();
    if (stopped || cy.destroyed()) return;
    const { positions } = event.data;
    // Hundreds of node animations cost more per frame than they show.
    moving = cy.layout({
      name: 'preset', animate: cy.nodes().length <= ANIMATED_NODES, animationDuration: 500, fit: false,
      positions: (node) => positions[node.id()] || node.position(),
    });
    moving.one('layoutstop', () => { if (!stopped) done(); });
    moving.run();
  };
  worker.onerror = (event) => {
    event.preventDefault();
    worker.terminate();
    if (!stopped && !cy.destroyed()) moving = relaxHere(cy, options, done);
  };
  worker.postMessage({
    nodes: cy.nodes().map((n) => ({ id: n.id(), ...n.position(), size: n.data('size') || 26, locked: n.locked() })),
    edges: cy.edges().map((e) => ({ id: e.id(), source: e.data('source'), target: e.data('target') })),
    options,
  });
  return {
    stop: () => {
      stopped = true;
      worker.terminate();
      if (moving) moving.stop();
    },
  };
}
