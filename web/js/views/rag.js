// Retrieval answers as a ranked list: rank, paper, similarity score (with a
// bar), topic, the generated document text and its authors, followed by the
// context figures of the graph expansion and the timings.

import { el, formatNs } from '../dom.js';

export function renderRag(holder, result, context) {
  const doc = result.data || {};
  const documents = Array.isArray(doc.documents) && doc.documents.length ? doc.documents : Array.isArray(doc.hits) ? doc.hits : [];
  holder.append(el('p', { class: 'muted' },
    `${documents.length} results · k ${doc.k ?? '–'} · expansion hops ${doc.hops ?? doc.expand_hops ?? 0} · ` +
    `retrieval ${formatNs(doc.retrieve_ns)} · end to end ${formatNs(doc.e2e_ns)}`));
  holder.append(el('ol', { class: 'rag-list' }, documents.map((d, index) => {
    const score = Number(d.score);
    const meter = el('span', { class: 'score-bar', 'aria-hidden': 'true' }, el('span', { class: 'score-fill' }));
    meter.firstChild.style.width = `${Math.max(0, Math.min(1, score)) * 100}%`;
    return el('li', { class: 'rag-item' },
      el('div', { class: 'rag-head' },
        el('span', { class: 'rag-rank' }, `#${index + 1}`),
        el('button', { type: 'button', class: 'rag-name link-button', onclick: () => context.openNode(d.id), title: `Inspect node ${d.id}` }, String(d.name ?? d.id)),
        el('span', { class: 'rag-score' }, `score ${Number.isFinite(score) ? score.toFixed(4) : '–'}`), meter,
        d.topic_label ? el('span', { class: 'tag' }, String(d.topic_label)) : null),
      d.text ? el('p', { class: 'rag-text' }, String(d.text)) : null,
      Array.isArray(d.authors) && d.authors.length
        ? el('p', { class: 'rag-authors' }, 'Authors: ', d.authors.map((a) => el('span', { class: 'tag' }, String(a))))
        : null);
  })));
  const figures = ['papers', 'authors', 'related_papers', 'followed', 'context_nodes', 'subgraph_nodes']
    .filter((key) => key in doc).map((key) => `${key.replaceAll('_', ' ')} ${doc[key]}`);
  if (figures.length) holder.append(el('p', { class: 'muted' }, `Context: ${figures.join(' · ')}`));
  if (doc.note) holder.append(el('p', { class: 'note' }, String(doc.note)));
}
