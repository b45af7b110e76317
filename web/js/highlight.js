// Cypher keyword highlighting for the editor: the statement is cut into
// tokens (strings, comments, parameters, numbers, words, colon commands)
// and rebuilt as spans whose text is set with textContent. The highlight
// layer sits under a transparent textarea, so it must reproduce the text
// exactly, character for character.

import { el } from './dom.js';

const KEYWORDS = new Set(
  [
    'MATCH', 'OPTIONAL', 'WHERE', 'RETURN', 'DISTINCT', 'LIMIT', 'SKIP', 'ORDER', 'BY', 'AS', 'AND', 'OR',
    'NOT', 'XOR', 'IN', 'IS', 'NULL', 'TRUE', 'FALSE', 'CALL', 'YIELD', 'USE', 'CREATE', 'MERGE', 'SET',
    'DELETE', 'DETACH', 'LOAD', 'CSV', 'FROM', 'NEO4J', 'EXPLAIN', 'PROFILE', 'WITH', 'UNWIND', 'ASC', 'DESC',
  ]);
const FUNCTIONS = new Set(['COUNT', 'ID', 'LABELS', 'TYPE', 'SIZE', 'COLLECT', 'MIN', 'MAX', 'SUM', 'AVG']);

const TOKEN = new RegExp(
  [
    '(?<comment>//[^\\n]*)',
    "(?<string>'(?:[^'\\\\]|\\\\.)*'?|\"(?:[^\"\\\\]|\\\\.)*\"?|`[^`]*`?)",
    '(?<param>\\$[A-Za-z0-9_]*)',
    '(?<command>^\\s*:[A-Za-z][\\w-]*)',
    '(?<number>\\b\\d+(?:\\.\\d+)?\\b)',
    '(?<word>[A-Za-z_][A-Za-z0-9_.]*)',
    '(?<arrow>-\\[|\\]->|\\]-|<-\\[|->|<-)',
  ].join('|'),
  'gm');

// The kind of one word: keyword, function, label (after ":") or plain.
function wordKind(text, before) {
  const upper = text.toUpperCase();
  if (KEYWORDS.has(upper)) return 'tok-keyword';
  if (FUNCTIONS.has(upper)) return 'tok-function';
  if (before === ':') return 'tok-label';
  if (text.includes('.') && /^[a-z]/i.test(text)) return 'tok-procedure';
  return '';
}

// Tokens of `text`: [{kind, text}], covering the text completely.
export function tokenize(text) {
  const tokens = [];
  let last = 0;
  for (const match of text.matchAll(TOKEN)) {
    if (match.index > last) tokens.push({ kind: '', text: text.slice(last, match.index) });
    const groups = match.groups;
    let kind = '';
    if (groups.comment) kind = 'tok-comment';
    else if (groups.string) kind = 'tok-string';
    else if (groups.param) kind = 'tok-param';
    else if (groups.command) kind = 'tok-command';
    else if (groups.number) kind = 'tok-number';
    else if (groups.word) kind = wordKind(match[0], text[match.index - 1]);
    else if (groups.arrow) kind = 'tok-arrow';
    tokens.push({ kind, text: match[0] });
    last = match.index + match[0].length;
  }
  if (last < text.length) tokens.push({ kind: '', text: text.slice(last) });
  return tokens;
}

// Fills `target` with highlighted spans for `text`.
export function highlightInto(target, text) {
  const parts = tokenize(text).map((token) => (token.kind ? el('span', { class: token.kind }, token.text) : token.text));
  // A trailing newline needs a character after it to take up a line.
  target.replaceChildren(...parts, '\n');
}
