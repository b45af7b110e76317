// The node inspector: a side drawer with one node's document from
// /v1/node (name, labels, id, topic, out-degree, properties and the first
// outgoing neighbours, each of which opens in turn). Escape closes it.

import { el, button, compactJson } from './dom.js';
import { postJson } from './api.js';
import { nodeColour } from './style.js';

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

  async open(id) {
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
    const properties = Object.entries(doc.properties || {});
    this.panel.append(
      el('p', { class: 'inspector-title' }, dot, el('span', { class: 'inspector-label' }, labels.length > 0 ? labels.map((l) => `:${l}`).join('') : ':Node'),
        el('span', { class: 'inspector-name' }, String(doc.name ?? ''))),
      el('dl', { class: 'facts' },
        el('dt', {}, 'id'), el('dd', {}, String(doc.id)),
        el('dt', {}, 'topic'), el('dd', {}, String(doc.topic)),
        el('dt', {}, 'out-degree'), el('dd', {}, String(doc.out_degree))),
      el('h3', {}, 'Properties'),
      properties.length
        ? el('table', { class: 'data-table properties' }, el('tbody', {}, properties.map(([key, value]) =>
          el('tr', {}, el('th', { scope: 'row' }, key), el('td', {}, typeof value === 'string' ? value : compactJson(value))))))
        : el('p', { class: 'muted' }, 'No properties.'),
      el('h3', {}, `Outgoing neighbours (${(doc.neighbors || []).length} of ${doc.out_degree})`),
      el('ul', { class: 'neighbours' }, (doc.neighbors || []).map((n) =>
        el('li', {}, el('span', { class: 'tag' }, String(n.type)),
          button(String(n.name), () => this.open(n.id), { class: 'link-button', title: `Inspect node ${n.id}` })))),
      el('div', { class: 'inspector-actions' },
        button('Explore from here', () => this.context.runStatement(`CALL orvane.explore(${Number(doc.id)}, 2)`))));
  }
}
