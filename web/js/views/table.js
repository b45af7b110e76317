// The table view of count and row results: one column per returned
// expression, node objects as compact chips, other objects as JSON text.

import { el, compactJson } from '../dom.js';
import { isNodeObject, nodeChip } from './node_chip.js';

function cell(value, context) {
  if (isNodeObject(value)) return nodeChip(value, context);
  if (value === null) return el('span', { class: 'null' }, 'null');
  if (typeof value === 'object') return el('code', {}, compactJson(value));
  return String(value);
}

// A table of `columns` (strings) and `rows` (arrays of values).
export function dataTable(columns, rows, context) {
  return el('div', { class: 'table-wrap', tabindex: '0' },
    el('table', { class: 'data-table' },
      el('thead', {}, el('tr', {}, columns.map((name) => el('th', { scope: 'col' }, name)))),
      el('tbody', {}, rows.map((row) => el('tr', {}, row.map((value) => el('td', {}, cell(value, context))))))));
}

export function renderTable(holder, result, context) {
  const data = result.data || {};
  const columns = Array.isArray(data.columns) ? data.columns : [];
  const rows = Array.isArray(data.rows) ? data.rows : [];
  if (result.kind === 'count') {
    holder.append(el('p', { class: 'big-count' }, el('span', { class: 'count-value' }, String(result.count)),
      el('span', { class: 'count-label' }, columns[0] || 'count')));
  }
  if (rows.length === 0) {
    holder.append(el('p', { class: 'muted' }, 'No rows.'));
    return;
  }
  holder.append(dataTable(columns, rows, context));
}
