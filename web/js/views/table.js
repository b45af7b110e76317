// The table view of count and row results: one column per returned
// expression, node objects as compact chips, other objects as JSON text.
//
// Up to EAGER_ROWS rows are built at once. A longer answer (tens of
// thousands of rows) would cost seconds of DOM building and make every
// scroll relayout the lot, so it is drawn as a window: the rows in view
// plus a margin, between two spacer rows whose heights stand for the rows
// not built. Windowed rows have one fixed height (cells do not wrap; the
// full text is in the cell's title), which is what lets a scroll offset
// map straight to a row number.

import { el, compactJson } from '../dom.js';
import { isNodeObject, nodeChip } from './node_chip.js';

const EAGER_ROWS = 500;
const ROW_HEIGHT = 28; // px; .windowed-table rows are fixed to this in views.css
const MARGIN_ROWS = 30;

function cell(value, context) {
  if (isNodeObject(value)) return nodeChip(value, context);
  if (value === null) return el('span', { class: 'null' }, 'null');
  if (typeof value === 'object') return el('code', {}, compactJson(value));
  return String(value);
}

function rowElement(row, context) {
  return el('tr', {}, row.map((value) => el('td', {}, cell(value, context))));
}

function header(columns) {
  return el('thead', {}, el('tr', {}, columns.map((name) => el('th', { scope: 'col' }, name))));
}

// The windowed table: only the rows near the scroll position exist.
function windowedTable(columns, rows, context) {
  const before = el('tr', { class: 'spacer', 'aria-hidden': 'true' }, el('td', { colspan: String(columns.length) }));
  const after = el('tr', { class: 'spacer', 'aria-hidden': 'true' }, el('td', { colspan: String(columns.length) }));
  const body = el('tbody', {});
  const wrap = el('div', { class: 'table-wrap windowed-table', tabindex: '0', 'data-rows': String(rows.length),
    'aria-label': `${rows.length} rows; the rows in view are shown` },
  el('table', { class: 'data-table', 'aria-rowcount': String(rows.length + 1) }, header(columns), body));
  let shown = [-1, -1];
  const draw = () => {
    const visible = Math.ceil((wrap.clientHeight || 480) / ROW_HEIGHT);
    const first = Math.max(0, Math.floor(wrap.scrollTop / ROW_HEIGHT) - MARGIN_ROWS);
    const last = Math.min(rows.length, first + visible + 2 * MARGIN_ROWS);
    if (first === shown[0] && last === shown[1]) return;
    shown = [first, last];
    before.firstChild.style.height = `${first * ROW_HEIGHT}px`;
    after.firstChild.style.height = `${(rows.length - last) * ROW_HEIGHT}px`;
    const built = [];
    for (let i = first; i < last; i++) {
      const tr = rowElement(rows[i], context);
      tr.setAttribute('aria-rowindex', String(i + 2));
      for (const td of tr.children) td.title = td.textContent;
      built.push(tr);
    }
    body.replaceChildren(before, ...built, after);
  };
  let pending = 0;
  wrap.addEventListener('scroll', () => {
    if (!pending) pending = requestAnimationFrame(() => { pending = 0; draw(); });
  }, { passive: true });
  draw();
  // The first draw guessed the height; redraw once the wrap is laid out.
  requestAnimationFrame(draw);
  return wrap;
}

// A table of `columns` (strings) and `rows` (arrays of values).
export function dataTable(columns, rows, context) {
  if (rows.length > EAGER_ROWS) return windowedTable(columns, rows, context);
  return el('div', { class: 'table-wrap', tabindex: '0' },
    el('table', { class: 'data-table' }, header(columns), el('tbody', {}, rows.map((row) => rowElement(row, context)))));
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
