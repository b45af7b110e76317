// The graph view's renderer: sigma (WebGL) over a graphology multigraph,
// with the programs and canvas drawing the console needs. Kept apart from
// graph.js, which owns the model and the interaction, so the choices that
// are about pixels live in one place.
//
// Sizes: sigma gives node sizes and edge widths in screen pixels at the
// fitted view and scales them by the square root of the zoom. Edge widths
// are held between MIN_EDGE_PX and about 3.4 pixels by sigma's minimum edge
// thickness on one side and the camera's zoom limit on the other, and the
// arrowheads are a fixed multiple of the width, so both stay legible at
// every zoom. Node sizes shrink with the node count, so thousands of nodes
// do not cover each other at the fitted view.
//
// Text: captions sit below their node on a plate of the canvas colour, as
// in the cytoscape view this replaced; relationship types are drawn along
// their edge only when there are few edges or the view is zoomed in, since
// thousands of labels are unreadable and costly on a software renderer.
// Large drawings hide edges and text while the camera moves (as Neo4j
// Browser does), which keeps panning and zooming smooth without a GPU.

import { Sigma, createEdgeArrowProgram, createEdgeCurveProgram, createDrawCurvedEdgeLabel, drawStraightEdgeLabel }
  from '../../vendor/graph_engine.js';

export const CURVATURE = 0.25;
export const EDGE_SIZE = 1;
export const MIN_EDGE_PX = 1.1;
// Zooming in stops where an edge of EDGE_SIZE is 3.4 pixels wide.
const MIN_RATIO = (EDGE_SIZE / 3.4) ** 2;
const MAX_RATIO = 12;
// Past this many relationships their type is drawn only when zoomed in.
export const LABELLED_EDGES = 400;
// Past this many items the camera moves without edges and text.
const LIGHT_MOTION = 2500;
const ARROW = { lengthToThicknessRatio: 4, widenessToThicknessRatio: 3 };

function cssVar(name, fallback) {
  return getComputedStyle(document.documentElement).getPropertyValue(name).trim() || fallback;
}

// The page colours the canvas text uses; re-read when the theme changes.
export function inks() {
  return { text: cssVar('--text', '#17202b'), muted: cssVar('--muted', '#5b6675'), plate: cssVar('--surface-2', '#ffffff'),
    accent: cssVar('--accent', '#1f6feb') };
}

// Radius in screen pixels at the fitted view of a node whose legend size is
// `diameter`, in a drawing of `count` nodes.
export function radiusFor(diameter, count) {
  return (diameter / 2) * Math.min(1, Math.max(0.25, Math.sqrt(150 / Math.max(count, 1))));
}

// Caption text: long ones end in an ellipsis.
function shortened(text) {
  const value = String(text ?? '');
  return value.length > 28 ? `${value.slice(0, 27)}…` : value;
}

function roundRect(context, x, y, w, h, r) {
  context.beginPath();
  context.moveTo(x + r, y);
  context.arcTo(x + w, y, x + w, y + h, r);
  context.arcTo(x + w, y + h, x, y + h, r);
  context.arcTo(x, y + h, x, y, r);
  context.arcTo(x, y, x + w, y, r);
  context.closePath();
}

// Draws node `data`'s caption below it on a plate, and a ring when the
// node is pinned or selected (the WebGL circles have no border).
function captionDrawer(colours) {
  return (context, data, settings) => {
    if (data.pinned || data.selected) {
      context.beginPath();
      context.arc(data.x, data.y, data.size + 2.5, 0, 2 * Math.PI);
      context.lineWidth = data.selected ? 3 : 2;
      context.strokeStyle = data.selected ? colours.accent : colours.text;
      if (data.pinned && !data.selected) context.setLineDash([3, 2]);
      context.stroke();
      context.setLineDash([]);
    }
    const text = shortened(data.label);
    if (!text) return;
    const size = settings.labelSize;
    context.font = `${settings.labelWeight} ${size}px ${settings.labelFont}`;
    const width = context.measureText(text).width;
    const top = data.y + data.size + 3;
    context.globalAlpha = 0.75;
    context.fillStyle = colours.plate;
    roundRect(context, data.x - width / 2 - 2, top, width + 4, size + 3, 2);
    context.fill();
    context.globalAlpha = 1;
    context.fillStyle = colours.text;
    context.textAlign = 'center';
    context.textBaseline = 'top';
    context.fillText(text, data.x, top + 1.5);
    context.textAlign = 'start';
    context.textBaseline = 'alphabetic';
  };
}

// Creates the sigma renderer of `graph` in `container`; `edgeText()` says
// whether relationship types are drawn now.
export function createRenderer(graph, container, colours, edgeText) {
  const when = (draw) => (context, edge, source, target, settings) => {
    if (edgeText()) draw(context, edge, source, target, settings);
  };
  const straightText = when(drawStraightEdgeLabel);
  const curvedText = when(createDrawCurvedEdgeLabel({ curvatureAttribute: 'curvature', defaultCurvature: CURVATURE,
    keepLabelUpright: true }));
  const Straight = createEdgeArrowProgram({ extremity: 'target', ...ARROW });
  const Curved = createEdgeCurveProgram({ curvatureAttribute: 'curvature', defaultCurvature: CURVATURE,
    arrowHead: { extremity: 'target', ...ARROW }, drawLabel: curvedText });
  const items = graph.order + graph.size;
  const drawCaption = captionDrawer(colours);
  return new Sigma(graph, container, {
    allowInvalidContainer: true,
    defaultEdgeType: 'straight',
    edgeProgramClasses: { straight: Straight, curved: Curved },
    renderEdgeLabels: true,
    defaultDrawEdgeLabel: straightText,
    enableEdgeEvents: false,
    defaultDrawNodeLabel: drawCaption,
    defaultDrawNodeHover: drawCaption,
    labelFont: 'system-ui, sans-serif',
    labelSize: 10,
    labelWeight: '400',
    labelRenderedSizeThreshold: 5,
    labelDensity: 0.6,
    edgeLabelFont: 'system-ui, sans-serif',
    edgeLabelSize: 8,
    edgeLabelColor: { color: colours.muted },
    minEdgeThickness: MIN_EDGE_PX,
    minCameraRatio: MIN_RATIO,
    maxCameraRatio: MAX_RATIO,
    hideEdgesOnMove: items > LIGHT_MOTION,
    hideLabelsOnMove: items > LIGHT_MOTION,
    stagePadding: 28,
    zIndex: false,
  });
}

// The on-screen width in pixels of an edge of `size` under `renderer`'s
// camera, as the edge programs compute it.
export function edgeWidthPx(renderer, size = EDGE_SIZE) {
  return Math.max(size / renderer.getRenderParams().sizeRatio, MIN_EDGE_PX);
}

// The picture of the drawing as one canvas: sigma's layers (WebGL and 2D)
// drawn over the page colour, read in the same task as a fresh render, so
// the WebGL buffers still hold the frame.
export function snapshot(renderer, background) {
  renderer.refresh();
  const { width, height } = renderer.getDimensions();
  const ratio = window.devicePixelRatio || 1;
  const out = document.createElement('canvas');
  out.width = Math.round(width * ratio);
  out.height = Math.round(height * ratio);
  const context = out.getContext('2d');
  context.fillStyle = background;
  context.fillRect(0, 0, out.width, out.height);
  for (const [name, layer] of Object.entries(renderer.getCanvases())) {
    if (name === 'mouse') continue;
    context.drawImage(layer, 0, 0, out.width, out.height);
  }
  return out;
}
