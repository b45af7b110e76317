// Documents (help, settings, status, search hits, algorithm results):
// objects become definition lists, arrays of objects become tables, and
// anything deeper is shown as compact JSON. Search-like rows that carry a
// node id and name get an inspector chip.

import { el, button, compactJson } from '../dom.js';
import { nodeChip } from './node_chip.js';

function isPlainObject(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value);
}

function objectsTable(items, context) {
  const columns = [...new Set(items.flatMap((item) => Object.keys(item)))];
  const nodeLike = columns.includes('id') && columns.includes('name');
  return el('div', { class: 'table-wrap', tabindex: '0' }, el('table', { class: 'data-table' },
    el('thead', {}, el('tr', {}, columns.map((c) => el('th', { scope: 'col' }, c)))),
    el('tbody', {}, items.map((item) => el('tr', {}, columns.map((c) => {
      const value = item[c];
      if (nodeLike && c === 'name' && Number.isInteger(item.id)) {
        return el('td', {}, nodeChip({ id: item.id, labels: item.labels, name: item.name, properties: {} }, context));
      }
      return el('td', {}, value === undefined ? '' : typeof value === 'object' ? compactJson(value) : String(value));
    }))))));
}

function valueView(value, context, depth) {
  if (Array.isArray(value)) {
    if (value.length && value.every(isPlainObject)) return objectsTable(value, context);
    if (value.every((v) => v === null || typeof v !== 'object')) return el('span', {}, value.map(String).join(', ') || '—');
    return el('code', {}, compactJson(value));
  }
  if (isPlainObject(value)) {
    if (depth > 1) return el('code', {}, compactJson(value));
    return el('dl', { class: 'facts' }, Object.entries(value).map(([k, v]) => [el('dt', {}, k), el('dd', {}, valueView(v, context, depth + 1))]));
  }
  return el('span', {}, value === null ? 'null' : String(value));
}

export function renderDocument(holder, result, context) {
  const data = result.data;
  if (data === undefined || data === null) {
    holder.append(el('p', { class: 'muted' }, 'Done; this statement returns no document.'));
    return;
  }
  holder.append(valueView(data, context, 0));
}

// The :help document: colon commands and example statements as buttons
// that run them, then the note.
export function renderHelp(holder, result, context) {
  const help = result.data;
  const runList = (items) => el('ul', { class: 'run-list' }, (items || []).map((statement) =>
    el('li', {}, button(statement, () => context.runStatement(statement), { class: 'statement-button', title: 'Run' }),
      button('Edit', () => context.editStatement(statement), { class: 'small-button ghost', 'aria-label': `Edit ${statement}` }))));
  holder.append(
    el('h3', {}, String(help.title || 'Help')),
    el('p', { class: 'note' }, String(help.note || '')),
    el('div', { class: 'help-columns' },
      el('section', {}, el('h4', {}, 'Console commands'), runList(help.colon)),
      el('section', {}, el('h4', {}, 'Statements to try'), runList(help.cypher))));
}
