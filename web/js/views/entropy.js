// The entropy views. The worker renumbers node positions so traversals
// touch nearby memory; these charts show its effect: the mean edge jump
// (how far apart the two ends of a relationship sit in memory) and each
// benchmark query's time before and after, for the lab (one scrambled
// layout, then optimised) and the ladder (clean, three mess levels,
// optimised). A plain scan shows the layout figures as cards.

import { el, formatNs } from '../dom.js';
import { barChart } from '../charts.js';

const LADDER_LEVELS = ['clean', 'mess1', 'mess2', 'mess3', 'optimized'];

function card(label, value, hint) {
  return el('div', { class: 'stat-card' }, el('span', { class: 'stat-value' }, value), el('span', { class: 'stat-label' }, label),
    hint ? el('span', { class: 'stat-hint' }, hint) : null);
}

function number(value, digits = 2) {
  return typeof value === 'number' ? (Number.isInteger(value) ? String(value) : value.toFixed(digits)) : String(value ?? '–');
}

function renderLab(holder, lab) {
  const queries = Array.isArray(lab.queries) ? lab.queries : [];
  holder.append(
    el('div', { class: 'stat-cards' },
      card('mean edge jump before', number(lab.before?.mean_edge_jump)),
      card('mean edge jump after', number(lab.after?.mean_edge_jump)),
      card('jump ratio', `${number(lab.layout_jump_ratio)}×`),
      card('3-hop speed-up', `${number(lab.hop3_speedup)}×`),
      card('answers identical', lab.counts_identical ? 'yes' : 'NO')),
    el('div', { class: 'charts' },
      barChart({ title: 'Mean edge jump', unit: 'positions', categories: ['before', 'after'],
        series: [{ name: 'mean edge jump', values: [lab.before?.mean_edge_jump, lab.after?.mean_edge_jump] }] }),
      barChart({ title: 'Query time before and after', unit: 'ns', categories: queries.map((q) => String(q.name)),
        series: [{ name: 'before', values: queries.map((q) => q.before_ns) }, { name: 'after', values: queries.map((q) => q.after_ns) }] })));
}

function renderLadder(holder, ladder) {
  const levels = LADDER_LEVELS.filter((level) => ladder[level] && typeof ladder[level] === 'object');
  const names = [...new Set(levels.flatMap((level) => (ladder[level].queries || []).map((q) => String(q.name))))];
  const timeOf = (level, name) => (ladder[level].queries || []).find((q) => String(q.name) === name)?.ns;
  holder.append(
    el('div', { class: 'stat-cards' },
      card('nodes', number(ladder.nodes)), card('relationships', number(ladder.edges)),
      card('jump ratio vs mess 3', `${number(ladder.jump_ratio_vs_mess3)}×`),
      card('3-hop speed-up vs mess 3', `${number(ladder.hop3_speedup_vs_mess3)}×`),
      card('answers identical', ladder.counts_identical ? 'yes' : 'NO')),
    el('div', { class: 'charts' },
      barChart({ title: 'Mean edge jump per layout', unit: 'positions', categories: levels,
        series: [{ name: 'mean edge jump', values: levels.map((l) => ladder[l].mean_edge_jump) }] }),
      barChart({ title: 'Query time per layout', unit: 'ns', categories: names,
        series: levels.map((level) => ({ name: level, values: names.map((n) => timeOf(level, n)) })) })));
}

export function renderEntropy(holder, result) {
  const data = result.data || {};
  if (data.before && data.after) return renderLab(holder, data);
  if (data.clean && data.optimized) return renderLadder(holder, data);
  const cards = Object.entries(data).map(([key, value]) => card(key.replaceAll('_', ' '), typeof value === 'boolean' ? (value ? 'yes' : 'no') : number(value)));
  holder.append(el('div', { class: 'stat-cards' }, cards),
    el('p', { class: 'note' }, 'Mean edge jump is the average distance in memory between the two ends of a relationship; ',
      'the entropy worker lowers it without changing any answer. Run ', el('code', {}, 'CALL orvane.entropy.lab()'),
      ' or ', el('code', {}, 'CALL orvane.entropy.ladder()'), ' to see it recover a scrambled layout. Took ', formatNs(result.ns), '.'));
}
