// ForceAtlas2, off the main thread. The page posts {nodes, edges, settings,
// iterations, budgetMs}: `nodes` is ForceAtlas2's node matrix (ten floats a
// node: x, y, speeds, mass, size, fixed) and `edges` its edge matrix (source
// and target offsets into it, weight). The worker iterates until the count
// or the time budget is spent and posts {positions} (x, y per node, in the
// page's node order) every few frames' worth of time, then {positions,
// done: true}. {fix: {index, x, y, fixed}} moves a node and holds it there
// (a pinned or dragged node) or lets it go. Positions go out as copies of a
// fresh array, transferred, so the page only swaps them in on a frame.

import { iterate } from '../../vendor/forceatlas2.js';

const PPN = 10;
const POST_EVERY_MS = 60;
let state = null;

function positions(nodes) {
  const count = nodes.length / PPN;
  const out = new Float32Array(count * 2);
  for (let i = 0; i < count; i++) {
    out[2 * i] = nodes[i * PPN];
    out[2 * i + 1] = nodes[i * PPN + 1];
  }
  return out;
}

function post(done) {
  const out = positions(state.nodes);
  self.postMessage({ positions: out, done }, [out.buffer]);
}

// Runs iterations for up to one posting interval, then yields to the event
// loop so a fix or a new graph can arrive between slices.
function slice() {
  if (!state) return;
  const started = performance.now();
  while (state.left > 0 && performance.now() - started < POST_EVERY_MS) {
    iterate(state.settings, state.nodes, state.edges);
    state.left -= 1;
  }
  const done = state.left <= 0 || performance.now() - state.began > state.budgetMs;
  post(done);
  if (done) state = null;
  else setTimeout(slice, 0);
}

self.onmessage = (event) => {
  const message = event.data;
  if (message.fix) {
    if (!state) return;
    const { index, x, y, fixed } = message.fix;
    state.nodes[index * PPN] = x;
    state.nodes[index * PPN + 1] = y;
    state.nodes[index * PPN + 9] = fixed ? 1 : 0;
    return;
  }
  const running = state !== null;
  state = { nodes: message.nodes, edges: message.edges, settings: message.settings, left: message.iterations,
    budgetMs: message.budgetMs, began: performance.now() };
  if (!running) slice();
};
