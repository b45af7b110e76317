// The graph view's drawing library, bundled by the build (esbuild, pinned in
// package.json) into vendor/graph_engine.js as one ES module: graphology for
// the graph model, sigma for WebGL drawing, and sigma's curved-edge program
// for parallel relationships. The page imports only what this file exports,
// so the packages stay in the build directory and never in the checkout.
// This file ends in .mjs so the copy of web/ into the web root skips it: the
// browser loads the bundle, never this entry with its bare package names.

export { default as Graph } from 'graphology';
export { default as Sigma } from 'sigma';
export { createEdgeArrowProgram, drawStraightEdgeLabel } from 'sigma/rendering';
export { createEdgeCurveProgram, createDrawCurvedEdgeLabel } from '@sigma/edge-curve';
