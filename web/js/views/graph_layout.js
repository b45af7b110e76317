// Placing nodes without freezing the page. A drawing starts from a cheap
// placement (a sunflower spiral in the order nodes arrive, linear in n), so
// its first frame needs no layout at all; ForceAtlas2 then refines it in a
// worker (layout_worker.js). The worker posts positions every few frames'
// worth of time, and the page copies the latest ones into the graph model
// on an animation frame, at most every COPY_MS for a large drawing, since
// each copy makes the renderer re-read every node and relationship. The
// page never runs an iteration itself. Where no worker can start, the
// nodes keep their first placement.

const PPN = 10;
const PPE = 3;
const GOLDEN_ANGLE = Math.PI * (3 - Math.sqrt(5));

// The spiral's point for the `i`th node, `spacing` apart.
export function spiralPoint(i, spacing = 10, centre = { x: 0, y: 0 }) {
  const r = spacing * Math.sqrt(i + 0.5);
  return { x: centre.x + r * Math.cos(i * GOLDEN_ANGLE), y: centre.y + r * Math.sin(i * GOLDEN_ANGLE) };
}

// ForceAtlas2's settings as the package infers them for a graph of `order`
// nodes (Barnes-Hut from a few hundred, where it starts to pay), and the
// iterations and time a layout of that size may take.
function plan(order, size) {
  return {
    settings: { linLogMode: false, outboundAttractionDistribution: false, adjustSizes: false, edgeWeightInfluence: 1,
      scalingRatio: 10, strongGravityMode: true, gravity: 0.05, slowDown: 1 + Math.log(Math.max(order, 1)),
      barnesHutOptimize: order > 400, barnesHutTheta: 0.6 },
    iterations: order > 2000 ? 300 : order > 300 ? 500 : 800,
    budgetMs: order + size > 3000 ? 3000 : 6000,
  };
}

// Runs ForceAtlas2 over the graphology `graph` in a worker; `done()` is
// called once the nodes are in place (not when stopped). Nodes with a
// `fixed` attribute stay where they are.
export class ForceLayout {
  constructor(graph, { done = () => {} } = {}) {
    this.graph = graph;
    this.done = done;
    this.worker = null;
    this.index = new Map();
    this.latest = null;
    this.frame = 0;
    this.lastCopy = 0;
    this.copyMs = graph.order + graph.size > 3000 ? 150 : 0;
  }

  start() {
    this.stop();
    const { graph } = this;
    const keys = graph.nodes();
    const nodes = new Float32Array(keys.length * PPN);
    this.index = new Map(keys.map((key, i) => [key, i]));
    keys.forEach((key, i) => {
      const attr = graph.getNodeAttributes(key);
      nodes.set([attr.x, attr.y, 0, 0, 0, 0, 1, 1, 1, attr.fixed ? 1 : 0], i * PPN);
    });
    const edges = new Float32Array(graph.size * PPE);
    let j = 0;
    graph.forEachEdge((edge, attr, source, target) => {
      const s = this.index.get(source) * PPN;
      const t = this.index.get(target) * PPN;
      nodes[s + 6] += 1;
      nodes[t + 6] += 1;
      edges.set([s, t, 1], j);
      j += PPE;
    });
    try {
      this.worker = new Worker(new URL('./layout_worker.js', import.meta.url), { type: 'module' });
    } catch {
      this.finish();
      return this;
    }
    this.keys = keys;
    this.worker.onmessage = (event) => {
      this.latest = event.data;
      if (!this.frame) this.frame = requestAnimationFrame((now) => this.copy(now));
    };
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.finish();
    };
    this.worker.postMessage({ nodes, edges, ...plan(keys.length, graph.size) }, [nodes.buffer, edges.buffer]);
    return this;
  }

  // Copies the newest positions into the graph (pinned and dragged nodes
  // keep theirs), no more often than copyMs unless they are the last.
  copy(now) {
    this.frame = 0;
    const message = this.latest;
    if (!message || !this.worker) return;
    if (!message.done && now - this.lastCopy < this.copyMs) {
      this.frame = requestAnimationFrame((later) => this.copy(later));
      return;
    }
    this.latest = null;
    this.lastCopy = now;
    const { positions } = message;
    const { index } = this;
    this.graph.updateEachNodeAttributes((key, attr) => {
      const i = index.get(key);
      if (i !== undefined && !attr.fixed) {
        attr.x = positions[2 * i];
        attr.y = positions[2 * i + 1];
      }
      return attr;
    }, { attributes: ['x', 'y'] });
    if (message.done) this.finish();
  }

  finish() {
    this.stop();
    this.done();
  }

  // Holds node `key` at (x, y) while `fixed`, or lets the layout move it.
  fix(key, x, y, fixed) {
    const index = this.index.get(key);
    if (this.worker && index !== undefined) this.worker.postMessage({ fix: { index, x, y, fixed } });
  }

  stop() {
    if (this.worker) this.worker.terminate();
    this.worker = null;
    if (this.frame) cancelAnimationFrame(this.frame);
    this.frame = 0;
    this.latest = null;
  }
}
