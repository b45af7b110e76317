// The inspector: a side drawer. For a node or relationship clicked in a
// graph it shows what the answer carried (labels or type, id, element id,
// each property with its Cypher type) and, for a node, buttons to expand
// its neighbours in both directions, hide it or pin it in place. For a
// node chip of a table it shows the node's document from /v1/node (name,
// labels, id, topic, out-degree, properties and the first outgoing
// neighbours, each of which opens in turn). Escape closes it.

import { el, button } from './dom.js';
import { postJson } from './api.js';
import { nodeColour } from './style.js';
import { cypherType, valueText } from './value_types.js';

function propertyTable(properties) {
  const entries = Object.entries(properties || {});
  if (entries.length === 0) return el('p', { class: 'muted' }, 'No properties.');
  return el('table', { class: 'data-table properties' }, el('tbody', {}, entries.map(([key, value]) =>
    el('tr', {}, el('th', { scope: 'row' }, key, el('span', { class: 'prop-type' }, cypherType(value))),
      el('td', {}, valueText(value))))));
}

export class Inspector {
  constructor(panel, context) {
    this.panel = panel;
    this.context = context;
    panel.addEventListener('keydown', (event) => {
      if (event.key === 'Escape') this.close();
    });
  }

  close() {
    this.panel.hidden = true;
    if (this.returnFocus && this.returnFocus.isConnected) this.returnFocus.focus();
  }

  // Shows a drawn element: {kind: 'node' | 'relationship', id, elementId,
  // labels or type, start and end (relationships), caption, colour,
  // properties (undefined when the answer carried none: then a node's are
  // fetched), pinned, actions: {expand, hide, pin} for nodes; without
  // expand there is no Expand button}.
  async show(item) {
    this.returnFocus = document.activeElement;
    this.panel.hidden = false;
    const node = item.kind === 'node';
    const closeButton = button('Close', () => this.close(), { 'aria-label': 'Close the inspector', class: 'small-button close' });
    const dot = el('span', { class: 'chip-dot', 'aria-hidden': 'true' });
    dot.style.background = item.colour || '#8391a2';
    const kindText = node ? ((item.labels || []).length ? item.labels.map((l) => `:${l}`).join('') : ':Node') : `[:${item.type}]`;
    const facts = el('dl', { class: 'facts' },
      el('dt', {}, 'id'), el('dd', {}, String(item.id)),
      el('dt', {}, 'element id'), el('dd', { class: 'element-id' }, String(item.elementId ?? '—')),
      node ? null : [el('dt', {}, 'from'), el('dd', {}, String(item.start)), el('dt', {}, 'to'), el('dd', {}, String(item.end))]);
    const status = el('p', { class: 'muted inspector-status', role: 'status' });
    const actions = el('div', { class: 'inspector-actions' });
    if (node && item.actions) {
      const pin = button(item.pinned ? 'Unpin' : 'Pin', () => {
        const pinned = item.actions.pin();
        pin.textContent = pinned ? 'Unpin' : 'Pin';
        pin.setAttribute('aria-pressed', String(pinned));
      }, { 'aria-pressed': String(Boolean(item.pinned)), title: 'Keep this node where it is when the layout runs' });
      actions.append(
        item.actions.expand && button('Expand', async () => {
          status.textContent = 'Expanding…';
          try {
            const added = await item.actions.expand();
            status.textContent = `${added} neighbour${added === 1 ? '' : 's'} added.`;
          } catch (error) {
            status.textContent = `Expanding failed: ${error.message}`;
          }
        }, { title: 'Add the neighbours in both directions (or double-click the node)' }),
        pin,
        button('Hide', () => item.actions.hide(), { title: 'Remove this node from the drawing' }));
    }
    const properties = el('div', { class: 'inspector-properties' }, propertyTable(item.properties || {}));
    this.panel.replaceChildren(
      el('div', { class: 'inspector-head' }, el('h2', {}, node ? `Node ${item.id}` : `Relationship ${item.id}`), closeButton),
      el('p', { class: 'inspector-title' }, dot, el('span', { class: 'inspector-label' }, kindText),
        el('span', { class: 'inspector-name' }, String(item.caption ?? ''))),
      facts, el('h3', {}, 'Properties'), properties, actions, status);
    this.panel.dataset.kind = item.kind;
    closeButton.focus();
    if (node && item.properties === undefined) {
      try {
        const doc = await postJson('/v1/node', { id: Number(item.id) });
        if (doc && !doc.error) properties.replaceChildren(propertyTable(doc.properties || {}));
      } catch (error) {
        status.textContent = error.message;
      }
    }
  }

  async open(id) {
    this.panel.dataset.kind = 'node';
    this.returnFocus = document.activeElement;
    this.panel.hidden = false;
    const closeButton = button('Close', () => this.close(), { 'aria-label': 'Close the inspector', class: 'small-button close' });
    this.panel.replaceChildren(el('div', { class: 'inspector-head' }, el('h2', {}, `Node ${id}`), closeButton),
      el('p', { class: 'progress' }, el('span', { class: 'spinner', 'aria-hidden': 'true' }), 'Loading…'));
    closeButton.focus();
    let doc;
    try {
      doc = await postJson('/v1/node', { id: Number(id) });
    } catch (error) {
      this.panel.append(el('div', { class: 'error-box', role: 'alert' }, el('p', { class: 'error-message' }, error.message)));
      this.panel.querySelector('.progress')?.remove();
      return;
    }
    this.panel.querySelector('.progress')?.remove();
    if (doc.error) {
      this.panel.append(el('div', { class: 'error-box', role: 'alert' }, el('p', { class: 'error-message' }, String(doc.error))));
      return;
    }
    const dot = el('span', { class: 'chip-dot', 'aria-hidden': 'true' });
    const labels = Array.isArray(doc.labels) ? doc.labels : [];
    dot.style.background = nodeColour(labels[0]);
    this.panel.append(
      el('p', { class: 'inspector-title' }, dot, el('span', { class: 'inspector-label' }, labels.length > 0 ? labels.map((l) => `:${l}`).join('') : ':Node'),
        el('span', { class: 'inspector-name' }, String(doc.name ?? ''))),
      el('dl', { class: 'facts' },
        el('dt', {}, 'id'), el('dd', {}, String(doc.id)),
        el('dt', {}, 'topic'), el('dd', {}, String(doc.topic)),
        el('dt', {}, 'out-degree'), el('dd', {}, String(doc.out_degree))),
      el('h3', {}, 'Properties'),
      propertyTable(doc.properties),
      el('h3', {}, `Outgoing neighbours (${(doc.neighbors || []).length} of ${doc.out_degree})`),
      el('ul', { class: 'neighbours' }, (doc.neighbors || []).map((n) =>
        el('li', {}, el('span', { class: 'tag' }, String(n.type)),
          button(String(n.name), () => this.open(n.id), { class: 'link-button', title: `Inspect node ${n.id}` })))),
      el('div', { class: 'inspector-actions' },
        button('Explore from here', () => this.context.runStatement(`CALL orvane.explore(${Number(doc.id)}, 2)`))));
  }
}
