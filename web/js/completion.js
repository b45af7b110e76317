// Completion in the statement editor: a list under the caret of keywords,
// labels, relationship types, property keys or procedures, whichever the
// text before the caret calls for (completion_context.js). The names come
// from the server (db.labels, db.relationshipTypes, db.propertyKeys and
// the procedures dbms.procedures lists); the schema's names are fetched
// again after each statement that may change them. A hand-made list rather than an editor
// library: it adds a few kilobytes where CodeMirror 6 with its completion
// package adds about 300 KB of script, and it keeps the textarea the
// editor's tests and keys already rely on.
//
// Keys while the list is open: Up and Down move, Tab takes the highlighted
// entry, and so does Enter once the arrows have moved in the list (a plain
// Enter still runs a one-line statement, as without a list); Escape closes.
// Ctrl+Space opens it where typing did not.

import { el } from './dom.js';
import { runStatement } from './api.js';
import { completionContext } from './completion_context.js';

const KEYWORDS = [
  'MATCH', 'OPTIONAL MATCH', 'WHERE', 'RETURN', 'WITH', 'UNWIND', 'ORDER BY', 'LIMIT', 'SKIP', 'DISTINCT', 'AS',
  'AND', 'OR', 'XOR', 'NOT', 'IN', 'IS NULL', 'IS NOT NULL', 'STARTS WITH', 'ENDS WITH', 'CONTAINS', 'CREATE',
  'MERGE', 'SET', 'REMOVE', 'DELETE', 'DETACH DELETE', 'CALL', 'YIELD', 'UNION', 'UNION ALL', 'USE', 'EXPLAIN',
  'PROFILE', 'ASC', 'DESC', 'CASE', 'WHEN', 'THEN', 'ELSE', 'END', 'EXISTS', 'count', 'collect', 'labels', 'type',
  'id', 'size', 'min', 'max', 'sum', 'avg', 'toString', 'toInteger', 'coalesce', 'range',
];
// Procedures this server answers that its procedure list does not name.
const SCHEMA_PROCEDURES = ['db.labels', 'db.relationshipTypes', 'db.propertyKeys', 'db.schema.visualization'];
const SHOWN = 12;

function column(rows) {
  return Array.isArray(rows) ? rows.map((row) => row[0]).filter((value) => typeof value === 'string') : [];
}

// The names to offer, by kind, fetched again: the schema's names always,
// the procedures (which change only with the server) when `procedures`
// is true, else kept from `previous`. Never rejects: a name list that
// cannot be fetched is empty.
export async function loadVocabulary(previous, procedures = true) {
  const ask = (statement) => runStatement(statement).catch(() => null);
  const [labels, types, keys, listing] = await Promise.all([ask('CALL db.labels()'),
    ask('CALL db.relationshipTypes()'), ask('CALL db.propertyKeys()'), procedures ? ask('CALL dbms.procedures()') : null]);
  const listed = listing && listing.data && Array.isArray(listing.data.procedures)
    ? listing.data.procedures.map((p) => p && p.name).filter((name) => /^[A-Za-z]+(\.[A-Za-z]+)+$/.test(name || '')) : [];
  return {
    keyword: KEYWORDS,
    label: column(labels && labels.ok && labels.data && labels.data.rows),
    type: column(types && types.ok && types.data && types.data.rows),
    property: column(keys && keys.ok && keys.data && keys.data.rows),
    procedure: procedures ? [...new Set([...listed, ...SCHEMA_PROCEDURES])].sort() : previous.procedure,
  };
}

// Entries of `names` that start with `prefix` (any case), exact-case
// matches first; a word already typed in full is not offered again.
function matching(names, prefix) {
  const lower = prefix.toLowerCase();
  const hits = names.filter((name) => name.toLowerCase().startsWith(lower) && name !== prefix);
  return hits.sort((a, b) => Number(!a.startsWith(prefix)) - Number(!b.startsWith(prefix)) || a.localeCompare(b));
}

export class Completer {
  // `input` is the editor's textarea, `field` the positioned box around it.
  constructor(input, field) {
    this.input = input;
    this.vocabulary = { keyword: KEYWORDS, label: [], type: [], property: [], procedure: SCHEMA_PROCEDURES };
    this.list = el('ul', { class: 'completion-list', id: 'completion-list', role: 'listbox', hidden: true,
      'aria-label': 'Completions' });
    field.append(this.list);
    this.entries = [];
    this.chosen = 0;
    this.context = null;
    input.setAttribute('aria-autocomplete', 'list');
    input.setAttribute('aria-controls', 'completion-list');
    input.addEventListener('blur', () => this.close());
    input.addEventListener('click', () => this.close());
  }

  // Fetches the names again; `procedures` false keeps the procedure list.
  async reload({ procedures = true } = {}) {
    this.vocabulary = await loadVocabulary(this.vocabulary, procedures);
  }

  get open() {
    return !this.list.hidden;
  }

  // Offers what fits the text before the caret; `asked` opens the list
  // even on an empty word (Ctrl+Space).
  update(asked = false) {
    const { value, selectionStart, selectionEnd } = this.input;
    const context = selectionStart === selectionEnd ? completionContext(value.slice(0, selectionStart)) : null;
    const wanted = context && (asked || context.prefix || context.kind !== 'keyword');
    this.entries = wanted ? matching(this.vocabulary[context.kind], context.prefix).slice(0, SHOWN) : [];
    this.context = context;
    if (!this.entries.length) {
      this.close();
      return;
    }
    this.chosen = 0;
    this.navigated = asked;
    this.list.dataset.kind = context.kind;
    this.list.replaceChildren(...this.entries.map((name, i) => el('li', { role: 'option', id: `completion-${i}`,
      class: 'completion-item', onmousedown: (event) => { event.preventDefault(); this.accept(i); } },
    name, el('span', { class: 'completion-kind' }, context.kind))));
    this.place(context.from);
    this.list.hidden = false;
    this.highlight();
  }

  // Puts the list under the start of the word: monospace text, so the
  // column times one character's width, less the textarea's scroll.
  place(from) {
    const before = this.input.value.slice(0, from);
    const line = before.split('\n').length;
    const col = from - before.lastIndexOf('\n') - 1;
    const style = getComputedStyle(this.input);
    const charWidth = this.charWidth || (this.charWidth = measureChar(style));
    const lineHeight = parseFloat(style.lineHeight) || 21;
    const left = Math.min(parseFloat(style.paddingLeft) + col * charWidth, Math.max(this.input.clientWidth - 220, 0));
    this.list.style.left = `${left}px`;
    this.list.style.top = `${parseFloat(style.paddingTop) + line * lineHeight - this.input.scrollTop + 4}px`;
  }

  highlight() {
    [...this.list.children].forEach((item, i) => item.setAttribute('aria-selected', String(i === this.chosen)));
    this.input.setAttribute('aria-activedescendant', `completion-${this.chosen}`);
    this.list.children[this.chosen]?.scrollIntoView({ block: 'nearest' });
  }

  accept(index = this.chosen) {
    const name = this.entries[index];
    const { from } = this.context;
    const end = this.input.selectionStart;
    this.input.setRangeText(name, from, end, 'end');
    this.close();
    this.input.dispatchEvent(new Event('input'));
  }

  close() {
    this.list.hidden = true;
    this.input.removeAttribute('aria-activedescendant');
  }

  // Handles the list's keys; true when the key was used.
  onKey(event) {
    if (event.key === ' ' && event.ctrlKey) {
      event.preventDefault();
      this.update(true);
      return true;
    }
    if (!this.open) return false;
    const step = { ArrowDown: 1, ArrowUp: -1 }[event.key];
    if (step) {
      this.chosen = (this.chosen + step + this.entries.length) % this.entries.length;
      this.navigated = true;
      this.highlight();
    } else if ((event.key === 'Tab' || (event.key === 'Enter' && this.navigated)) && !event.shiftKey && !event.ctrlKey && !event.metaKey) {
      this.accept();
    } else if (event.key === 'Escape') {
      this.close();
    } else {
      return false;
    }
    event.preventDefault();
    event.stopPropagation();
    return true;
  }
}

function measureChar(style) {
  const probe = el('span', {}, 'M'.repeat(20));
  probe.style.cssText = `position:absolute;visibility:hidden;white-space:pre;font:${style.font}`;
  document.body.append(probe);
  const width = probe.getBoundingClientRect().width / 20;
  probe.remove();
  return width || 8.4;
}
