// ForceAtlas2's iteration, bundled by the build into vendor/forceatlas2.js
// for the layout worker (js/views/layout_worker.js), which keeps the node
// and edge matrices itself. Only the iteration is taken: the package's own
// worker supervisor copies every iteration into the graph on the main
// thread, which a drawing of thousands of nodes cannot afford.

export { default as iterate } from 'graphology-layout-forceatlas2/iterate.js';
