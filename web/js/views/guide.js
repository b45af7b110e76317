// A :play guide as slides: one slide at a time with its heading, its
// explanation and a statement to run (or copy into the editor), arrows to
// move between slides, and the catalogue of the other guides.

import { el, button } from '../dom.js';

export function renderGuide(holder, result, context) {
  const doc = result.data || {};
  const guide = doc.guide || { title: 'Guide', slides: [] };
  const slides = Array.isArray(guide.slides) ? guide.slides : [];
  let index = 0;
  const stage = el('div', { class: 'slide', 'aria-live': 'polite' });
  const position = el('span', { class: 'slide-position' });
  const previous = button('← Previous', () => show(index - 1), { 'aria-label': 'Previous slide' });
  const next = button('Next →', () => show(index + 1), { 'aria-label': 'Next slide' });

  function show(i) {
    if (!slides.length) {
      stage.replaceChildren(el('p', { class: 'muted' }, 'This guide has no slides.'));
      return;
    }
    index = Math.min(Math.max(i, 0), slides.length - 1);
    const slide = slides[index];
    const statement = String(slide.q ?? '');
    stage.replaceChildren(
      el('h4', { class: 'slide-heading' }, String(slide.h ?? '')),
      el('p', {}, String(slide.body ?? '')),
      el('pre', { class: 'slide-statement' }, statement),
      el('div', { class: 'slide-actions' },
        button('▶ Run this', () => context.runStatement(statement), { class: 'run-button slide-run' }),
        button('Put in editor', () => context.editStatement(statement))));
    position.textContent = `Slide ${index + 1} of ${slides.length}`;
    previous.disabled = index === 0;
    next.disabled = index === slides.length - 1;
  }

  const catalogue = el('nav', { class: 'guide-catalogue', 'aria-label': 'Guides' },
    (doc.catalog || []).map((entry) => button(String(entry.title ?? entry.id), () => context.runStatement(`:play ${entry.id}`),
      { class: entry.id === guide.id ? 'small-button current' : 'small-button', 'aria-current': entry.id === guide.id ? 'true' : false })));
  holder.append(
    el('h3', {}, String(guide.title ?? 'Guide')),
    stage,
    el('div', { class: 'slide-nav' }, previous, position, next),
    catalogue,
    doc.note ? el('p', { class: 'note' }, String(doc.note)) : null);
  holder.addEventListener('keydown', (event) => {
    if (event.target.closest('.slide-nav') && (event.key === 'ArrowLeft' || event.key === 'ArrowRight')) {
      show(index + (event.key === 'ArrowRight' ? 1 : -1));
    }
  });
  show(0);
}
