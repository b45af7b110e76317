// The stream of result frames, newest on top. A frame holds one statement
// and its latest result; it can be pinned (kept above the others and spared
// by :clear and by the frame limit), collapsed, re-run in place, exported
// and closed. While a request runs, the frame shows a spinner and the
// elapsed time. Every change is saved (frame_store.js), and a reloaded page
// shows the saved frames again from their kept results, without running
// anything.

import { el, button, formatNs } from './dom.js';
import { viewsFor } from './views/registry.js';
import { caretView } from './error_position.js';
import { exportCsv, exportJson, exportPng, exportSvg, copyJson } from './export.js';
import { saveFrames } from './frame_store.js';
import { getJson } from './api.js';

const MAX_FRAMES = 50;

class Frame {
  constructor(stream, statement, task) {
    this.stream = stream;
    this.statement = statement;
    this.task = task || (() => stream.execute(statement));
    this.pinned = false;
    this.timer = 0;
    this.selectView = () => {};
    this.meta = el('span', { class: 'frame-meta' });
    this.pinButton = button('Pin', () => this.togglePin(), { 'aria-pressed': 'false', title: 'Keep this frame on top' });
    this.collapseButton = button('Collapse', () => this.toggleCollapse(), { 'aria-expanded': 'true' });
    this.exportMenu = el('details', { class: 'frame-export', hidden: true },
      el('summary', { class: 'small-button', title: 'Export this frame' }, 'Export'),
      el('div', { class: 'export-menu' },
        button('CSV', () => this.exportWith((stem) => exportCsv(this.result, stem)), { dataset: { export: 'csv' } }),
        button('JSON', () => this.exportWith((stem) => exportJson(this.result, stem)), { dataset: { export: 'json' } }),
        button('PNG', () => this.exportWith((stem) => exportPng(this.drawing(), stem)), { dataset: { export: 'png' }, class: 'small-button needs-graph' }),
        button('SVG', () => this.exportWith((stem) => exportSvg(this.drawing(), stem)), { dataset: { export: 'svg' }, class: 'small-button needs-graph' }),
        button('Copy', () => this.exportWith(() => copyJson(this.result), 'Copied to the clipboard'),
          { dataset: { export: 'copy' }, title: 'Copy the table as JSON' })));
    this.tabs = el('div', { class: 'frame-tabs', role: 'tablist', 'aria-label': 'Result views' });
    this.body = el('div', { class: 'frame-body' });
    this.content = el('div', { class: 'frame-content' }, this.tabs, this.body);
    this.element = el(
      'article',
      { class: 'frame', tabindex: '-1', 'aria-label': `Result of ${statement}` },
      el(
        'header',
        { class: 'frame-header' },
        el('code', { class: 'frame-statement', title: 'Click to edit this statement', tabindex: '0',
          onclick: () => stream.context.editStatement(this.statement),
          onkeydown: (event) => { if (event.key === 'Enter') stream.context.editStatement(this.statement); } },
        statement),
        this.meta,
        el(
          'span',
          { class: 'frame-actions' },
          this.exportMenu,
          this.pinButton,
          this.collapseButton,
          button('Re-run', () => this.run(), { title: 'Run this statement again' }),
          button('Close', () => this.close(), { title: 'Close this frame', 'aria-label': 'Close frame' }),
        ),
      ),
      this.content,
    );
  }

  // The handle on this frame's drawing (the graph canvas's `view`),
  // switching to the graph view first when another view is showing.
  drawing() {
    let canvas = this.body.querySelector('.graph-canvas');
    if (!canvas) {
      this.selectView('graph');
      canvas = this.body.querySelector('.graph-canvas');
    }
    if (!canvas || !canvas.view) throw new Error('this frame has no drawing');
    return canvas.view;
  }

  async exportWith(action, done) {
    const stem = `halvex-${new Date().toISOString().replace(/[:.]/g, '-').slice(0, 19)}`;
    try {
      await action(stem);
      this.exportMenu.open = false;
      if (done) this.note(done);
    } catch (error) {
      this.note(`Export failed: ${error.message}`);
    }
  }

  note(text) {
    const old = this.meta.textContent;
    this.meta.textContent = text;
    window.setTimeout(() => { if (this.meta.textContent === text) this.meta.textContent = old; }, 2500);
  }

  // Runs the frame's task; resolves to its result, or null when the
  // request itself failed.
  async run() {
    const started = performance.now();
    this.exportMenu.hidden = true;
    this.element.classList.remove('frame-error');
    this.element.setAttribute('aria-busy', 'true');
    this.tabs.replaceChildren();
    const elapsed = el('span', { class: 'elapsed' }, '0.0 s');
    const importing = el('span', { class: 'importing' });
    this.body.replaceChildren(el('div', { class: 'progress', role: 'status' }, el('span', { class: 'spinner', 'aria-hidden': 'true' }), 'Running… ', elapsed, importing));
    this.meta.textContent = 'running';
    window.clearInterval(this.timer);
    let ticks = 0;
    this.timer = window.setInterval(() => {
      elapsed.textContent = `${((performance.now() - started) / 1000).toFixed(1)} s`;
      // A statement that runs long may be a migration: the server says how
      // far the one it runs has come.
      if (++ticks % 5 === 0 && ticks >= 10) showImportProgress(importing);
    }, 100);
    try {
      const result = await this.task();
      this.show(result, performance.now() - started);
      return result;
    } catch (error) {
      this.showFailure(error.message || String(error));
      return null;
    } finally {
      window.clearInterval(this.timer);
      this.element.removeAttribute('aria-busy');
      this.stream.save();
    }
  }

  // Shows `result`; `restored` marks a result kept from an earlier visit,
  // which changes nothing on the server, so nothing is refreshed.
  show(result, wallMs, restored = false) {
    this.result = result;
    this.failure = null;
    // Several statements show every answer, the failed last one included.
    const several = result.kind === 'statements' && Array.isArray(result.results);
    if (!result.ok && !several) {
      this.showFailure(result.error || 'the statement failed', result, restored);
      return;
    }
    const parts = [result.kind];
    if (result.kind === 'count' || result.kind === 'rows') parts.push(`${result.count} ${result.kind === 'rows' ? 'rows' : 'counted'}`);
    if (result.kind === 'graph') parts.push(`${result.nodes.length} nodes, ${result.rels.length} relationships`);
    if (several) parts.push(`${result.count} of ${result.statements} statements run`, result.ok ? 'ok' : 'stopped at an error');
    parts.push(`server ${formatNs(result.ns)}`, restored ? 'kept from an earlier visit' : `round trip ${wallMs.toFixed(0)} ms`);
    this.meta.textContent = parts.join(' · ');
    this.element.dataset.kind = result.kind;
    this.element.classList.toggle('frame-error', !result.ok);
    const views = viewsFor(result);
    this.exportMenu.hidden = false;
    this.exportMenu.classList.toggle('has-graph', views.some((v) => v.id === 'graph'));
    const buttons = views.map((view, index) =>
      el('button', { type: 'button', role: 'tab', class: 'tab', 'aria-selected': index === 0 ? 'true' : 'false',
        dataset: { view: view.id }, onclick: () => select(index) }, view.label));
    const select = (index) => {
      buttons.forEach((b, i) => b.setAttribute('aria-selected', i === index ? 'true' : 'false'));
      const holder = el('div', { class: `view view-${views[index].id}`, role: 'tabpanel' });
      this.body.replaceChildren(holder);
      views[index].render(holder, result, this.stream.context);
    };
    this.tabs.replaceChildren(...buttons);
    this.tabs.onkeydown = (event) => {
      const current = buttons.findIndex((b) => b.getAttribute('aria-selected') === 'true');
      const step = event.key === 'ArrowRight' ? 1 : event.key === 'ArrowLeft' ? -1 : 0;
      if (!step) return;
      const next = (current + step + buttons.length) % buttons.length;
      select(next);
      buttons[next].focus();
    };
    this.selectView = (id) => {
      const index = views.findIndex((v) => v.id === id);
      if (index >= 0) select(index);
    };
    select(0);
    if (!restored) this.stream.context.afterResult(result);
  }

  showFailure(message, result, restored = false) {
    this.result = result;
    this.failure = message;
    this.element.classList.add('frame-error');
    this.element.dataset.kind = 'error';
    this.meta.textContent = result ? `error · ${formatNs(result.ns)}` : 'request failed';
    this.tabs.replaceChildren();
    this.body.replaceChildren(el('div', { class: 'error-box', role: 'alert' },
      el('strong', {}, 'Error'), el('p', { class: 'error-message' }, message), caretView(this.statement, message)));
    if (result && !restored) this.stream.context.afterResult(result);
  }

  // What the store keeps of this frame.
  saved() {
    return { statement: this.statement, pinned: this.pinned, collapsed: this.content.hidden,
      result: this.result ?? null, failure: this.failure ?? null };
  }

  togglePin() {
    this.pinned = !this.pinned;
    this.element.classList.toggle('pinned', this.pinned);
    this.pinButton.setAttribute('aria-pressed', String(this.pinned));
    this.pinButton.textContent = this.pinned ? 'Unpin' : 'Pin';
    this.stream.place(this);
    this.stream.save();
  }

  toggleCollapse() {
    const collapsed = !this.content.hidden;
    this.content.hidden = collapsed;
    this.collapseButton.setAttribute('aria-expanded', String(!collapsed));
    this.collapseButton.textContent = collapsed ? 'Expand' : 'Collapse';
    this.stream.save();
  }

  close() {
    window.clearInterval(this.timer);
    this.element.remove();
    this.stream.frames = this.stream.frames.filter((f) => f !== this);
    this.stream.save();
  }
}

// " · importing 120,000 records, 12.0 of 377.0 MB" while the server runs a
// migration, nothing otherwise (a failed poll included).
async function showImportProgress(target) {
  try {
    const p = await getJson('/v1/migrate/progress');
    if (!p.running) {
      target.textContent = '';
      return;
    }
    const mb = (bytes) => (bytes / 1e6).toFixed(1);
    let text = ` · importing ${Number(p.records).toLocaleString('en')} records`;
    if (p.bytes > 0) text += p.totalBytes > 0 ? `, ${mb(p.bytes)} of ${mb(p.totalBytes)} MB` : `, ${mb(p.bytes)} MB`;
    target.textContent = text;
  } catch {
    target.textContent = '';
  }
}

export class FrameStream {
  // `execute(statement)` returns a console result; `context` is handed to
  // the views (runStatement, editStatement, openNode, style, afterResult).
  constructor(container, execute, context) {
    this.container = container;
    this.execute = execute;
    this.context = context;
    this.frames = [];
  }

  // Runs `statement` in a new frame on top; `task`, when given, produces the
  // result instead of the statement route (for API calls such as retrieval).
  run(statement, task) {
    const frame = new Frame(this, statement, task);
    this.frames.unshift(frame);
    this.place(frame);
    this.trim();
    return frame.run();
  }

  // Shows frames kept from an earlier visit (newest first, as saved)
  // without running them; their Re-run button runs them again.
  restore(saved) {
    for (const item of [...saved].reverse()) {
      const frame = new Frame(this, item.statement);
      frame.pinned = Boolean(item.pinned);
      frame.element.classList.toggle('pinned', frame.pinned);
      frame.pinButton.setAttribute('aria-pressed', String(frame.pinned));
      frame.pinButton.textContent = frame.pinned ? 'Unpin' : 'Pin';
      this.frames.unshift(frame);
      this.place(frame);
      if (item.result && (item.result.ok || item.result.kind === 'statements')) frame.show(item.result, 0, true);
      else if (item.result || item.failure) frame.showFailure(item.failure || item.result.error || 'the statement failed', item.result, true);
      else frame.body.replaceChildren(el('p', { class: 'muted' }, 'This result was too large to keep; Re-run shows it again.'));
      if (item.collapsed) frame.toggleCollapse();
    }
    this.trim();
  }

  // Saves every frame, newest first, soon after a change (several changes
  // in a row are saved once).
  save() {
    window.clearTimeout(this.saveTimer);
    this.saveTimer = window.setTimeout(() => saveFrames(this.ordered().map((f) => f.saved())), 50);
  }

  // The frames in page order.
  ordered() {
    return [...this.container.children].map((node) => this.frames.find((f) => f.element === node)).filter(Boolean);
  }

  // Puts a frame at the top of its group: pinned frames above the rest.
  place(frame) {
    if (frame.pinned) {
      this.container.prepend(frame.element);
      return;
    }
    const firstUnpinned = [...this.container.children].find(
      (node) => node !== frame.element && !node.classList.contains('pinned'));
    if (firstUnpinned) this.container.insertBefore(frame.element, firstUnpinned);
    else this.container.append(frame.element);
  }

  trim() {
    const unpinned = this.frames.filter((f) => !f.pinned);
    while (this.frames.length > MAX_FRAMES && unpinned.length) unpinned.pop().close();
  }

  // Closes every frame that is not pinned (the :clear statement).
  clear(except) {
    for (const frame of [...this.frames]) if (!frame.pinned && frame !== except) frame.close();
  }
}
