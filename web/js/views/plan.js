// The plan view of EXPLAIN and PROFILE: the operator tree from the top
// operator down, with the run figures of a PROFILE.

import { el, formatNs } from '../dom.js';

function operatorTree(node) {
  const children = Array.isArray(node.children) ? node.children : [];
  return el('li', {},
    el('div', { class: 'plan-operator' }, String(node.operator ?? '?')),
    children.length ? el('ul', {}, children.map(operatorTree)) : null);
}

export function renderPlan(holder, result) {
  const plan = result.data || {};
  const facts = [
    ['Ran', plan.ran ? 'yes (PROFILE)' : 'no (EXPLAIN)'],
    ['Rows', plan.ran ? String(plan.rows) : '–'],
    ['Time', plan.ran ? formatNs(plan.ns) : '–'],
    ['Runtime', String(plan.runtime ?? '')],
  ];
  holder.append(
    el('dl', { class: 'facts' }, facts.map(([k, v]) => [el('dt', {}, k), el('dd', {}, v)])),
    el('ul', { class: 'plan-tree', 'aria-label': 'Operator tree' }, operatorTree(plan)),
    el('p', { class: 'muted' }, 'Query: ', el('code', {}, String(plan.query ?? ''))));
}
