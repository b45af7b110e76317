// Small SVG bar charts, drawn by hand: grouped vertical bars with a value
// axis, category labels, a legend and a <title> per bar so screen readers
// and hover tooltips get the exact figure. Colours come from CSS classes
// (series-0, series-1, …) so both themes style them.

import { svg, el } from './dom.js';

function niceMax(value) {
  if (!(value > 0)) return 1;
  const power = 10 ** Math.floor(Math.log10(value));
  for (const step of [1, 2, 2.5, 5, 10]) if (step * power >= value) return step * power;
  return 10 * power;
}

function short(value) {
  if (Math.abs(value) >= 1e6) return `${(value / 1e6).toFixed(1)}M`;
  if (Math.abs(value) >= 1e3) return `${(value / 1e3).toFixed(1)}k`;
  return Number.isInteger(value) ? String(value) : value.toFixed(value < 10 ? 2 : 1);
}

// `categories`: names along the x axis; `series`: [{name, values}] with one
// value per category. Returns a <figure> holding the chart.
export function barChart({ title, unit = '', categories, series }) {
  const width = Math.max(360, 60 + categories.length * (series.length * 16 + 24));
  const height = 220;
  const left = 52;
  const bottom = 46;
  const top = 14;
  const plotHeight = height - top - bottom;
  const all = series.flatMap((s) => s.values).filter(Number.isFinite);
  const max = niceMax(Math.max(0, ...all));
  const groupWidth = (width - left - 10) / Math.max(categories.length, 1);
  const barWidth = Math.min(28, (groupWidth - 12) / Math.max(series.length, 1));
  const y = (value) => top + plotHeight - (value / max) * plotHeight;

  const grid = [0, 0.25, 0.5, 0.75, 1].map((f) => {
    const value = max * f;
    return svg('g', { class: 'grid' },
      svg('line', { x1: left, x2: width - 6, y1: y(value), y2: y(value) }),
      svg('text', { x: left - 6, y: y(value) + 4, 'text-anchor': 'end' }, short(value)));
  });
  const bars = categories.map((category, ci) => {
    const x0 = left + ci * groupWidth + (groupWidth - barWidth * series.length) / 2;
    return svg('g', { class: 'bar-group' },
      series.map((s, si) => {
        const value = s.values[ci];
        const v = Number.isFinite(value) ? value : 0;
        return svg('rect', { class: `bar series-${si}`, x: x0 + si * barWidth, y: y(v), width: Math.max(barWidth - 2, 2),
          height: Math.max(top + plotHeight - y(v), 0.5) },
        svg('title', {}, `${category} · ${s.name}: ${Number.isFinite(value) ? value : 'n/a'}${unit ? ` ${unit}` : ''}`));
      }),
      svg('text', { class: 'category', x: left + ci * groupWidth + groupWidth / 2, y: height - bottom + 16, 'text-anchor': 'middle' }, category));
  });
  const chart = svg('svg', { class: 'chart', viewBox: `0 0 ${width} ${height}`, width, height, role: 'img',
    'aria-label': `${title}${unit ? ` (${unit})` : ''}` },
  svg('title', {}, title), grid, svg('line', { class: 'axis', x1: left, x2: left, y1: top, y2: top + plotHeight }), bars);
  const legend = el('div', { class: 'legend' }, series.map((s, si) =>
    el('span', { class: 'legend-item' }, el('span', { class: `swatch series-${si}`, 'aria-hidden': 'true' }), s.name)));
  return el('figure', { class: 'chart-figure' }, el('figcaption', {}, unit ? `${title} (${unit})` : title),
    el('div', { class: 'chart-scroll' }, chart), legend);
}
