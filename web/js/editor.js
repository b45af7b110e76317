// The statement editor: a textarea over a highlight layer, growing with its
// text. Plain Enter runs a one-line input, as in Neo4j Browser (in a
// multi-line one it inserts a newline); Shift+Enter always inserts a
// newline and Ctrl/Cmd+Enter always runs. Ctrl/Cmd+Up and Down (or plain
// Up on the first line and Down on the last) walk the history, which is
// kept in localStorage across visits. Completion (completion.js) sees each
// key first, so Enter and the arrows choose from its list while it is open.

import { highlightInto } from './highlight.js';
import { Completer } from './completion.js';

const HISTORY_SLOT = 'halvex.history';
const HISTORY_LIMIT = 100;

function loadHistory() {
  try {
    const saved = JSON.parse(localStorage.getItem(HISTORY_SLOT) || '[]');
    return Array.isArray(saved) ? saved.filter((item) => typeof item === 'string') : [];
  } catch {
    return [];
  }
}

export class Editor {
  // `onRun(text)` is called with the trimmed input when the user runs it;
  // the input may hold several statements.
  constructor({ input, highlight, runButton, clearButton, onRun }) {
    this.input = input;
    this.highlight = highlight;
    this.onRun = onRun;
    this.history = loadHistory();
    this.cursor = this.history.length; // position in history; length means "the draft"
    this.draft = '';
    this.completer = new Completer(input, input.parentElement);
    input.addEventListener('input', (event) => {
      this.refresh();
      // Typed text offers completions; text put in by other means does not.
      if (event.isTrusted) this.completer.update();
      else this.completer.close();
    });
    input.addEventListener('scroll', () => {
      highlight.scrollTop = input.scrollTop;
      highlight.scrollLeft = input.scrollLeft;
    });
    input.addEventListener('keydown', (event) => this.onKey(event));
    runButton.addEventListener('click', () => this.run());
    clearButton.addEventListener('click', () => this.set(''));
    this.refresh();
  }

  get value() {
    return this.input.value;
  }

  // Replaces the text, puts the caret at its end and focuses the editor.
  set(text) {
    this.input.value = text;
    this.completer.close();
    this.refresh();
    this.input.focus();
    this.input.setSelectionRange(text.length, text.length);
  }

  refresh() {
    highlightInto(this.highlight, this.input.value);
    const lines = this.input.value.split('\n').length;
    this.input.rows = Math.min(Math.max(lines, 1), 14);
  }

  run() {
    const statement = this.input.value.trim();
    if (!statement) return;
    this.remember(statement);
    this.set('');
    this.onRun(statement);
  }

  remember(statement) {
    if (this.history[this.history.length - 1] !== statement) this.history.push(statement);
    if (this.history.length > HISTORY_LIMIT) this.history.splice(0, this.history.length - HISTORY_LIMIT);
    this.cursor = this.history.length;
    this.draft = '';
    try {
      localStorage.setItem(HISTORY_SLOT, JSON.stringify(this.history));
    } catch {
      /* storage full or disabled: history stays in memory */
    }
  }

  step(delta) {
    if (this.history.length === 0) return;
    if (this.cursor === this.history.length) this.draft = this.input.value;
    const next = Math.min(Math.max(this.cursor + delta, 0), this.history.length);
    if (next === this.cursor) return;
    this.cursor = next;
    this.set(next === this.history.length ? this.draft : this.history[next]);
  }

  onKey(event) {
    if (this.completer.onKey(event)) return;
    const modifier = event.ctrlKey || event.metaKey;
    if (event.key === 'Enter' && !event.isComposing) {
      const oneLine = !this.input.value.includes('\n');
      if (modifier || (oneLine && !event.shiftKey && !event.altKey)) {
        event.preventDefault();
        this.run();
        return;
      }
    }
    const { selectionStart, value } = this.input;
    const onFirstLine = !value.slice(0, selectionStart).includes('\n');
    const onLastLine = !value.slice(selectionStart).includes('\n');
    if (event.key === 'ArrowUp' && (modifier || onFirstLine) && !event.shiftKey) {
      event.preventDefault();
      this.step(-1);
    } else if (event.key === 'ArrowDown' && (modifier || onLastLine) && !event.shiftKey) {
      event.preventDefault();
      this.step(1);
    }
  }
}
