// Exporting a frame: its table as CSV or JSON, its drawing as PNG (a
// snapshot of the renderer's layers) or SVG (graph_svg.js, from the graph
// model's positions), and the JSON text to
// the clipboard. Files are made in the page as Blobs and saved through a
// temporary download link, so nothing leaves the browser.

import { graphOf } from './views/graph_data.js';
import { graphSvg } from './views/graph_svg.js';

// The table of a result: {columns, rows}. Row answers give their own;
// explore answers give one row per node; documents give one row with the
// whole document.
export function tableOf(result) {
  const data = result.data && typeof result.data === 'object' ? result.data : null;
  if (data && Array.isArray(data.columns) && Array.isArray(data.rows)) return { columns: data.columns, rows: data.rows };
  if (result.kind === 'graph') {
    const { nodes } = graphOf(result);
    return { columns: ['id', 'labels', 'properties'], rows: nodes.map((n) => [n.id, n.labels, n.properties ?? { name: n.name }]) };
  }
  return { columns: [result.kind || 'result'], rows: [[data ?? null]] };
}

function csvField(value) {
  if (value === null || value === undefined) return '';
  const text = typeof value === 'string' ? value : JSON.stringify(value);
  return /[",\r\n]/.test(text) ? `"${text.replaceAll('"', '""')}"` : text;
}

// RFC 4180 text: a header line, then one line per row; strings as they
// are, other values as JSON, null as an empty field.
export function toCsv({ columns, rows }) {
  return [columns, ...rows].map((row) => row.map(csvField).join(',')).join('\r\n') + '\r\n';
}

// The table as a JSON array of objects keyed by column.
export function toJson({ columns, rows }) {
  return JSON.stringify(rows.map((row) => Object.fromEntries(columns.map((c, i) => [c, row[i] ?? null]))), null, 2);
}

export function download(name, blob) {
  const url = URL.createObjectURL(blob);
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  link.hidden = true;
  document.body.append(link);
  link.click();
  link.remove();
  window.setTimeout(() => URL.revokeObjectURL(url), 10000);
}

function pageColour(name) {
  return getComputedStyle(document.documentElement).getPropertyValue(name).trim() || '#ffffff';
}

export function exportCsv(result, stem) {
  download(`${stem}.csv`, new Blob([toCsv(tableOf(result))], { type: 'text/csv' }));
}

export function exportJson(result, stem) {
  download(`${stem}.json`, new Blob([toJson(tableOf(result))], { type: 'application/json' }));
}

// Requires a drawn graph's handle (the graph canvas's `view`); the whole
// graph is framed first.
export async function exportPng(view, stem) {
  view.fit();
  const canvas = view.snapshot(pageColour('--surface-2'));
  const blob = await new Promise((resolve, reject) => canvas.toBlob((b) => (b ? resolve(b) : reject(new Error('no image'))), 'image/png'));
  download(`${stem}.png`, blob);
}

export function exportSvg(view, stem) {
  const text = graphSvg(view.picture(), { ink: pageColour('--text'), background: pageColour('--surface-2') });
  download(`${stem}.svg`, new Blob([text], { type: 'image/svg+xml' }));
}

// Copies the table's JSON text; resolves when the clipboard has it.
export async function copyJson(result) {
  await navigator.clipboard.writeText(toJson(tableOf(result)));
}
