// The legend of a drawn graph: one entry per label with its node count.
// Opening an entry shows that label's controls: colour, node size and the
// property used as caption (automatic, or any property the label's drawn
// nodes have). Changes go to style.js, which keeps them in localStorage
// and tells every drawn graph to follow.

import { el } from '../dom.js';
import { nodeColour, setNodeColour, SIZES, nodeSizeName, setNodeSize, captionKey, setCaptionKey } from '../style.js';

function controls(label, keys) {
  const colour = el('input', { type: 'color', class: 'legend-colour', value: nodeColour(label),
    'aria-label': `Colour of ${label}` });
  colour.addEventListener('change', () => setNodeColour(label, colour.value));
  const size = el('select', { class: 'legend-size', 'aria-label': `Node size of ${label}` },
    Object.keys(SIZES).map((name) => el('option', { value: name, selected: name === nodeSizeName(label) }, name)));
  size.addEventListener('change', () => setNodeSize(label, size.value));
  const picked = captionKey(label);
  const caption = el('select', { class: 'legend-caption', 'aria-label': `Caption of ${label}` },
    el('option', { value: '', selected: picked === '' }, 'automatic'),
    keys.map((key) => el('option', { value: key, selected: key === picked }, key)));
  caption.addEventListener('change', () => setCaptionKey(label, caption.value));
  return el('div', { class: 'legend-panel' },
    el('label', {}, 'Colour ', colour), el('label', {}, 'Size ', size), el('label', {}, 'Caption ', caption),
    el('p', { class: 'note' }, 'Kept in this browser (localStorage) for every frame.'));
}

// Fills `holder` with the legend of the drawn `nodes` (their model
// attributes: `kind`, the label, and `properties`).
export function renderLegend(holder, nodes) {
  const byLabel = new Map();
  for (const node of nodes) {
    const label = node.kind;
    const entry = byLabel.get(label) || { count: 0, keys: new Set() };
    entry.count += 1;
    Object.keys(node.properties || {}).forEach((key) => entry.keys.add(key));
    byLabel.set(label, entry);
  }
  const open = holder.querySelector('details[open]')?.dataset.label;
  holder.replaceChildren(...[...byLabel].map(([label, { count, keys }]) => {
    const dot = el('span', { class: 'chip-dot', 'aria-hidden': 'true' });
    dot.style.background = nodeColour(label);
    const item = el('details', { class: 'legend-item', dataset: { label } },
      el('summary', { title: `Colour, size and caption of ${label}` }, dot, `${label} (${count})`),
      controls(label, [...keys].sort()));
    if (label === open) item.open = true;
    return item;
  }));
}
