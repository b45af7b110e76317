// The raw view: the whole console result, pretty-printed, as text.

import { el } from '../dom.js';

export function renderJson(holder, result) {
  holder.append(el('pre', { class: 'json', tabindex: '0' }, JSON.stringify(result, null, 2)));
}
