// Where in a statement an error points. Cypher errors name their place at
// the end of the message, as Neo4j does: "... (line 2, column 8 (offset:
// 17))". The frame shows the statement's line with a caret under the
// column, so the user sees the spot without counting.

import { el } from './dom.js';

// {line, column} (both from 1) named by `message`, or null.
export function errorPosition(message) {
  const match = /\(line (\d+), column (\d+)/.exec(String(message || ''));
  return match ? { line: Number(match[1]), column: Number(match[2]) } : null;
}

// A block with the statement's erring line and a caret under the column,
// or null when the message names no place within `statement`.
export function caretView(statement, message) {
  const at = errorPosition(message);
  if (!at) return null;
  const lines = String(statement).split('\n');
  const text = lines[at.line - 1];
  if (text === undefined || at.column < 1 || at.column > text.length + 1) return null;
  // Tabs keep their width in the caret line, so the caret stays aligned.
  const pad = text.slice(0, at.column - 1).replace(/[^\t]/g, ' ');
  return el('div', { class: 'error-position', dataset: { line: String(at.line), column: String(at.column) } },
    el('span', { class: 'error-where' }, `line ${at.line}, column ${at.column}`),
    el('pre', { class: 'error-snippet' }, el('span', { class: 'error-line' }, text), '\n',
      el('span', { class: 'error-caret' }, `${pad}^`)));
}
