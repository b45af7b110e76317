// The answer of an input of several statements ({"kind": "statements",
// "results": [...]}): each statement in turn, with its text, a short meta
// line and its first view (or its error), in the order they ran. The
// server stops at the first failure, so an error can only be the last one.

import { el, formatNs } from '../dom.js';
import { viewsFor } from './registry.js';

function meta(result) {
  const parts = [result.kind];
  if (result.kind === 'count' || result.kind === 'rows') parts.push(`${result.count} ${result.kind === 'rows' ? 'rows' : 'counted'}`);
  parts.push(`server ${formatNs(result.ns)}`);
  return parts.join(' · ');
}

export function renderStatements(holder, result, context) {
  const results = Array.isArray(result.results) ? result.results : [];
  const skipped = (result.statements ?? results.length) - results.length;
  holder.append(...results.map((sub, index) => {
    const body = el('div', { class: 'statement-body' });
    const section = el('section', { class: `statement-result${sub.ok ? '' : ' statement-error'}`,
      'aria-label': `Statement ${index + 1}` },
    el('header', { class: 'statement-header' },
      el('code', { class: 'frame-statement' }, sub.query), el('span', { class: 'frame-meta' }, sub.ok ? meta(sub) : 'error')),
    body);
    if (!sub.ok) {
      body.append(el('div', { class: 'error-box', role: 'alert' },
        el('strong', {}, 'Error'), el('p', { class: 'error-message' }, sub.error)));
    } else {
      viewsFor(sub)[0].render(body, sub, context);
    }
    return section;
  }));
  if (skipped > 0) holder.append(el('p', { class: 'muted' }, `${skipped} later statement${skipped === 1 ? '' : 's'} not run.`));
}
