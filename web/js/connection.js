// The connection indicator. It polls the server's health route (which
// needs no API key) every POLL_MS; when that fails it says "disconnected"
// and offers Retry, and keeps polling, so a server that comes back is
// picked up without a reload. When health answers, one keyed request
// tells "connected" from "API key required". Going from disconnected to
// connected calls `onReconnect` so the page reloads server state (style,
// databases, side panel).

import { getJson, ApiError } from './api.js';

const POLL_MS = 2000;

export class Connection {
  constructor({ indicator, retry, onReconnect }) {
    this.indicator = indicator;
    this.retryButton = retry;
    this.onReconnect = onReconnect;
    this.state = 'connecting';
    this.timer = 0;
    this.checking = null;
    retry.addEventListener('click', () => this.check());
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'visible') this.check();
    });
  }

  show(state, text) {
    this.indicator.textContent = text;
    this.indicator.className = `connection ${state === 'connected' ? 'ok' : 'failed'}`;
    this.indicator.dataset.state = state;
    this.retryButton.hidden = state !== 'disconnected';
  }

  // Checks now and schedules the next poll; resolves to the new state.
  check() {
    if (this.checking) return this.checking;
    window.clearTimeout(this.timer);
    this.checking = this.probe().finally(() => {
      this.checking = null;
      this.timer = window.setTimeout(() => this.check(), POLL_MS);
    });
    return this.checking;
  }

  async probe() {
    const before = this.state;
    let state;
    try {
      await getJson('/v1/health');
      try {
        // Once connected, health alone keeps the state; the keyed check
        // runs on each change and on Retry.
        if (before !== 'connected') await getJson('/v1/stats');
        state = 'connected';
      } catch (error) {
        state = error instanceof ApiError && error.status === 401 ? 'key' : 'disconnected';
      }
    } catch {
      state = 'disconnected';
    }
    this.state = state;
    this.show(state, state === 'connected' ? 'connected' : state === 'key' ? 'API key required' : 'disconnected');
    if (before === 'disconnected' && state !== 'disconnected') this.onReconnect();
    return state;
  }
}
