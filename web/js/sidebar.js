// The side panel: database (selector, schema with counts), favourite
// statements (saved in this browser; a click runs one), guides and help,
// parameters, retrieval, query log, and server status with metrics.
// Sections load when opened and refresh after statements that may change
// them. All server text is written as text.

import { el, button, formatNs } from './dom.js';
import { getJson, getText, runStatement, documentOf } from './api.js';
import { nodeColour } from './style.js';
import { loadFavourites, addFavourite, removeFavourite } from './favourites.js';

const GUIDES = [
  ['intro', 'Intro to Halvex'], ['cypher', 'Cypher subset'], ['bloom', 'Explore view'],
  ['entropy', 'Entropy worker'], ['migrate', 'Port a Neo4j store'], ['enterprise', 'Fabric and operations'],
];

export class Sidebar {
  constructor({ tabs, body, databaseSelect, context }) {
    this.tabs = tabs;
    this.body = body;
    this.select = databaseSelect;
    this.context = context;
    this.sections = [
      { id: 'database', label: 'Database', render: (holder) => this.renderDatabase(holder) },
      { id: 'favourites', label: 'Favourites', render: (holder) => this.renderFavourites(holder) },
      { id: 'guides', label: 'Guides', render: (holder) => this.renderGuides(holder) },
      { id: 'params', label: 'Params', render: (holder) => this.renderParams(holder) },
      { id: 'rag', label: 'Retrieve', render: (holder) => this.renderRag(holder) },
      { id: 'log', label: 'Log', render: (holder) => this.renderLog(holder) },
      { id: 'status', label: 'Status', render: (holder) => this.renderStatus(holder) },
    ];
    this.current = 'database';
    this.buttons = this.sections.map((section) => el('button', { type: 'button', role: 'tab', class: 'tab',
      id: `side-tab-${section.id}`, 'aria-controls': 'sidebar-body', onclick: () => this.open(section.id) }, section.label));
    tabs.replaceChildren(...this.buttons);
    tabs.addEventListener('keydown', (event) => {
      const step = event.key === 'ArrowDown' || event.key === 'ArrowRight' ? 1 : event.key === 'ArrowUp' || event.key === 'ArrowLeft' ? -1 : 0;
      if (!step) return;
      event.preventDefault();
      const index = this.sections.findIndex((s) => s.id === this.current);
      const next = (index + step + this.sections.length) % this.sections.length;
      this.open(this.sections[next].id);
      this.buttons[next].focus();
    });
    databaseSelect.addEventListener('change', () => context.runStatement(`USE ${databaseSelect.value}`));
  }

  open(id) {
    this.current = id;
    this.sections.forEach((section, i) => this.buttons[i].setAttribute('aria-selected', String(section.id === id)));
    this.body.setAttribute('aria-labelledby', `side-tab-${id}`);
    return this.refresh();
  }

  async refresh() {
    const section = this.sections.find((s) => s.id === this.current);
    const holder = el('div', { class: `side-section side-${section.id}`, role: 'tabpanel' });
    // Sections that ask the server finish in any order: one overtaken by a
    // later refresh (the user opened another tab meanwhile) is dropped, or
    // it would cover the section the user chose.
    const turn = (this.turn = (this.turn || 0) + 1);
    try {
      await section.render(holder);
    } catch (error) {
      holder.append(el('div', { class: 'error-box', role: 'alert' }, el('p', { class: 'error-message' }, error.message)));
    }
    if (turn === this.turn) this.body.replaceChildren(holder);
  }

  // Fills the header's database selector from /v1/databases.
  async loadDatabases() {
    const doc = await getJson('/v1/databases');
    const names = Array.isArray(doc.names) ? doc.names : [];
    this.select.replaceChildren(...names.map((name) => el('option', { value: name }, name)));
    this.select.value = doc.current;
    return doc;
  }

  async renderDatabase(holder) {
    const doc = await this.loadDatabases();
    const meta = documentOf(await runStatement('CALL apoc.meta.stats()')) || {};
    const labelButton = (name, count, statement, colour) => {
      const dot = el('span', { class: 'chip-dot', 'aria-hidden': 'true' });
      if (colour) dot.style.background = colour;
      return el('li', {}, button([dot, `${name} `, el('span', { class: 'count' }, String(count))],
        () => this.context.editStatement(statement), { class: 'schema-button', title: 'Put a query for this into the editor' }));
    };
    holder.append(
      el('h2', {}, 'Database'),
      el('p', {}, 'Current: ', el('strong', { class: 'current-db' }, String(doc.current))),
      el('p', { class: 'muted' }, `${meta.nodeCount ?? 0} nodes · ${meta.relCount ?? 0} relationships`),
      el('h3', {}, 'Node labels'),
      el('ul', { class: 'schema-list' }, Object.entries(meta.labels || {}).map(([label, count]) =>
        labelButton(label, count, `MATCH (n:${label}) RETURN n LIMIT 25`, nodeColour(label)))),
      el('h3', {}, 'Relationship types'),
      el('ul', { class: 'schema-list' }, Object.entries(meta.relTypes || {}).map(([type, count]) =>
        labelButton(type, count, `MATCH (a)-[:${type}]->(b) RETURN a, b LIMIT 25`))),
      el('h3', {}, 'Databases'),
      el('ul', { class: 'plain-list' }, (doc.connections || []).map((c) =>
        el('li', {}, button(String(c.database), () => this.context.runStatement(`USE ${c.database}`), { class: 'link-button' }),
          el('code', { class: 'connection-string' }, String(c.connection))))));
  }

  // Saves `statement` and shows the favourites.
  async saveFavourite(statement) {
    addFavourite(statement);
    return this.open('favourites');
  }

  renderFavourites(holder) {
    const favourites = loadFavourites();
    const save = button('★ Save the editor\'s statement', () => {
      const statement = this.context.currentStatement();
      if (statement.trim()) this.saveFavourite(statement);
    }, { id: 'favourite-save-editor', title: 'Keep the statement in the editor as a favourite' });
    holder.append(el('h2', {}, 'Favourites'), el('p', {}, save),
      favourites.length ? el('ul', { class: 'favourite-list' }, favourites.map((f) => el('li', { class: 'favourite' },
        button(f.name, () => this.context.runStatement(f.statement), { class: 'link-button favourite-run', title: `Run: ${f.statement}` }),
        el('span', { class: 'favourite-actions' },
          button('Edit', () => this.context.editStatement(f.statement), { class: 'small-button favourite-edit', title: 'Put it into the editor' }),
          button('Remove', () => { removeFavourite(f.statement); this.refresh(); },
            { class: 'small-button favourite-remove', title: 'Forget this favourite' })))))
        : el('p', { class: 'muted' }, 'No favourites yet: write a statement and save it with ★.'),
      el('p', { class: 'note' }, 'Favourites stay in this browser (localStorage). A first line "// name" names one.'));
  }

  renderGuides(holder) {
    holder.append(
      el('h2', {}, 'Guides'),
      el('ul', { class: 'plain-list' }, GUIDES.map(([id, title]) =>
        el('li', {}, button(title, () => this.context.runStatement(`:play ${id}`), { class: 'link-button' })))),
      el('h2', {}, 'Help'),
      el('p', {}, button(':help', () => this.context.runStatement(':help')), ' ',
        button('Procedures', () => this.context.runStatement('CALL dbms.procedures()')), ' ',
        button(':style', () => this.context.runStatement(':style'))));
  }

  async renderParams(holder) {
    const doc = documentOf(await runStatement(':params')) || {};
    const name = el('input', { id: 'param-name', placeholder: 'name', 'aria-label': 'Parameter name', spellcheck: 'false' });
    const value = el('input', { id: 'param-value', placeholder: 'value', 'aria-label': 'Parameter value', spellcheck: 'false' });
    const form = el('form', { class: 'param-form' }, name, value, el('button', { type: 'submit', class: 'small-button' }, 'Set'));
    form.addEventListener('submit', async (event) => {
      event.preventDefault();
      if (!name.value.trim()) return;
      await this.context.runStatement(`:param ${name.value.trim()} => ${value.value}`);
      this.refresh();
    });
    holder.append(el('h2', {}, 'Parameters'),
      el('table', { class: 'data-table' }, el('tbody', {}, Object.entries(doc.params || {}).map(([k, v]) =>
        el('tr', {}, el('th', { scope: 'row' }, `$${k}`), el('td', {}, String(v)))))),
      form, doc.note ? el('p', { class: 'note' }, String(doc.note)) : null);
  }

  renderRag(holder) {
    const text = el('input', { id: 'rag-text', placeholder: 'papers about graph databases', 'aria-label': 'Retrieval text' });
    const k = el('input', { id: 'rag-k', type: 'number', min: '1', max: '64', value: '8', 'aria-label': 'How many results' });
    const form = el('form', { class: 'rag-form' }, el('label', { for: 'rag-text' }, 'Text'), text,
      el('label', { for: 'rag-k' }, 'Results'), k, el('button', { type: 'submit', class: 'small-button' }, 'Retrieve'));
    form.addEventListener('submit', (event) => {
      event.preventDefault();
      this.context.retrieve(text.value, Number(k.value) || 8);
    });
    holder.append(el('h2', {}, 'Retrieval'),
      el('p', { class: 'note' }, 'Ranks papers by cosine similarity of embeddings, then adds their authors and related papers from the graph.'),
      form, el('p', {}, button('Sample retrieval (:rag)', () => this.context.runStatement(':rag'))));
  }

  async renderLog(holder) {
    const doc = await getJson('/v1/queries');
    const entries = (doc.queries || []).slice().reverse();
    holder.append(el('h2', {}, 'Query log'),
      entries.length ? el('ol', { class: 'query-log' }, entries.map((q) =>
        el('li', { class: q.ok ? 'ok' : 'failed' },
          button(String(q.cypher), () => this.context.editStatement(String(q.cypher)), { class: 'link-button log-statement' }),
          el('span', { class: 'muted' }, `${q.ok ? 'ok' : 'failed'} · ${formatNs(q.ns)}`))))
        : el('p', { class: 'muted' }, 'No statements yet.'));
  }

  async renderStatus(holder) {
    const [health, stats, metrics] = await Promise.all([getJson('/v1/health'), getJson('/v1/stats'), getText('/metrics')]);
    const facts = [
      ['server', health.ok ? 'up' : 'down'], ['instance', health.instance || '(not managed)'],
      ['statements', stats.queries], ['errors', stats.errors], ['average time', formatNs(stats.avg_ns)],
      ['nodes', stats.nodes], ['relationships', stats.edges], ['degree entropy', stats.degree_entropy],
      ['mean edge jump', stats.mean_edge_jump], ['databases', stats.databases], ['change events', stats.cdc_events],
    ];
    holder.append(el('h2', {}, 'Server status'),
      el('dl', { class: 'facts' }, facts.map(([k, v]) => [el('dt', {}, k), el('dd', {}, String(v))])),
      el('p', {}, button(':server status', () => this.context.runStatement(':server status')), ' ',
        button(':sysinfo', () => this.context.runStatement(':sysinfo')), ' ',
        button(':entropy', () => this.context.runStatement(':entropy'))),
      el('h3', {}, 'Metrics'),
      el('pre', { class: 'metrics', tabindex: '0' }, metrics));
  }
}
