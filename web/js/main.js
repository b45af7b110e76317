// Start-up and wiring: the editor feeds the frame stream (an input of
// several statements runs them one after another, each in its own frame,
// stopping at the first failure), the frame stream runs statements through
// the API, and results that change server state (USE, :style, :param,
// CREATE, :clear) refresh the parts of the page that show that state. A
// reload shows the frames of the last visit; a first visit greets with
// :play intro. The connection indicator polls the server throughout.

import { el } from './dom.js';
import { runStatement, postJson, apiKey, setApiKey } from './api.js';
import { Connection } from './connection.js';
import { loadFrames } from './frame_store.js';
import { splitStatements } from './statement_split.js';
import { Editor } from './editor.js';
import { FrameStream } from './frames.js';
import { Inspector } from './inspector.js';
import { Sidebar } from './sidebar.js';
import { loadStyle } from './style.js';
import { initTheme } from './theme.js';
import { restyleGraphs } from './views/graph.js';

const $ = (id) => document.getElementById(id);

const context = {
  runStatement: (statement) => stream.run(statement),
  editStatement: (statement) => editor.set(statement),
  currentStatement: () => editor.value,
  openNode: (id) => inspector.open(id),
  inspect: (item) => inspector.show(item),
  closeInspector: () => inspector.close(),
  retrieve: (text, k) => stream.run(`retrieve "${text}" (k ${k})`, async () => {
    const started = performance.now();
    const data = await postJson('/v1/rag', { query: text, k });
    return { ok: true, kind: 'rag', count: 0, ns: (performance.now() - started) * 1e6, error: '', query: text, data, nodes: [], rels: [] };
  }),
  afterResult: (result) => afterResult(result),
};

const stream = new FrameStream($('stream'), (statement) => runStatement(statement), context);
const editor = new Editor({
  input: $('editor-input'), highlight: $('editor-highlight'), runButton: $('run-button'), clearButton: $('clear-editor'),
  onRun: (text) => runAll(text),
});
const inspector = new Inspector($('inspector'), context);
const sidebar = new Sidebar({ tabs: $('sidebar-tabs'), body: $('sidebar-body'), databaseSelect: $('database-select'), context });

// Statements after which the labels, types and property keys the editor
// completes may differ: writes, imports and a change of database.
const CHANGES_NAMES = /\b(create|merge|set|remove|delete|load|import|use)\b|^:(use|clear)/im;

let refreshPending = 0;
let namesChanged = false;
function refreshSoon(statement) {
  namesChanged = namesChanged || CHANGES_NAMES.test(statement);
  window.clearTimeout(refreshPending);
  refreshPending = window.setTimeout(() => {
    sidebar.loadDatabases().catch(() => {});
    sidebar.refresh();
    if (namesChanged) editor.completer.reload({ procedures: false });
    namesChanged = false;
  }, 150);
}

// An answer of several statements carries one answer per statement that
// ran; each may have changed server state.
function afterResult(result) {
  const answers = result.kind === 'statements' && Array.isArray(result.results) ? result.results : [result];
  for (const answer of answers) {
    const statement = String(answer.query || '').trim().toLowerCase();
    if (answer.ok && answer.kind === 'clear') stream.clear(stream.frames.find((f) => f.result === result));
    if (answer.ok && statement.startsWith(':style')) loadStyle();
  }
  refreshSoon(answers.map((answer) => String(answer.query || '').trim()).join('\n'));
}

// Runs the statements of `text` in order, each in its own frame; a
// statement that fails stops the rest, as the server does.
async function runAll(text) {
  const statements = splitStatements(text);
  for (const statement of statements.length ? statements : [text]) {
    const result = await stream.run(statement);
    if (!result || !result.ok) break;
  }
}

const connection = new Connection({
  indicator: $('connection-state'), retry: $('connection-retry'), onReconnect: () => reconnect(),
});

function initApiKey() {
  const input = $('api-key-input');
  input.value = apiKey();
  $('api-key-form').addEventListener('submit', (event) => {
    event.preventDefault();
    setApiKey(input.value.trim());
    reconnect();
  });
  $('api-key-clear').addEventListener('click', () => {
    input.value = '';
    setApiKey('');
    reconnect();
  });
}

function initSidebarToggle() {
  const toggle = $('sidebar-toggle');
  const panel = $('sidebar');
  const narrow = window.matchMedia('(max-width: 860px)');
  const set = (open) => {
    panel.hidden = !open;
    toggle.setAttribute('aria-expanded', String(open));
  };
  set(!narrow.matches);
  narrow.addEventListener('change', (event) => set(!event.matches));
  toggle.addEventListener('click', () => set(panel.hidden));
}

// Reloads what the page shows of the server (style, databases, side panel).
async function reconnect() {
  await Promise.all([connection.check(), loadStyle(), sidebar.loadDatabases().catch(() => {}), editor.completer.reload()]);
  sidebar.open(sidebar.current);
}

initTheme($('theme-toggle'), () => restyleGraphs());
$('save-favourite').addEventListener('click', () => {
  if (!editor.value.trim()) return;
  if ($('sidebar').hidden) $('sidebar-toggle').click();
  sidebar.saveFavourite(editor.value).catch(() => {});
});
initApiKey();
initSidebarToggle();
document.addEventListener('keydown', (event) => {
  if (event.key === 'Escape' && !$('inspector').hidden) inspector.close();
});
const kept = loadFrames();
reconnect().then(() => {
  if (kept.length) stream.restore(kept);
  else stream.run(':play intro');
});
document.body.append(el('span', { id: 'console-ready', hidden: true }));
