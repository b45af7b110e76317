// Which views a result offers, first one shown: every frame can show its
// raw JSON; rows that carry nodes (the answer's graph arrays, or node
// objects in the rows) and explore results can be drawn; plans, guides,
// entropy reports, retrieval answers and inputs of several statements have
// views of their own.

import { renderTable, rowsHaveNodes } from './table.js';
import { renderJson } from './json.js';
import { renderPlan } from './plan.js';
import { renderGraphResult, renderRowsGraph, renderGraphTable } from './graph.js';
import { renderHelp, renderDocument } from './document.js';
import { renderGuide } from './guide.js';
import { renderEntropy } from './entropy.js';
import { renderRag } from './rag.js';
import { renderStatements } from './statements.js';

const json = { id: 'json', label: 'JSON', render: renderJson };

export function viewsFor(result) {
  const data = result.data && typeof result.data === 'object' ? result.data : null;
  switch (result.kind) {
    case 'count':
    case 'rows': {
      const views = [{ id: 'table', label: 'Table', render: renderTable }];
      const drawn = Array.isArray(result.nodes) && result.nodes.length > 0;
      if (drawn || (data && rowsHaveNodes(data))) views.push({ id: 'graph', label: 'Graph', render: renderRowsGraph });
      return [...views, json];
    }
    case 'plan':
      return [{ id: 'plan', label: 'Plan', render: renderPlan }, json];
    case 'graph':
      return [
        { id: 'graph', label: 'Graph', render: renderGraphResult },
        { id: 'table', label: 'Table', render: renderGraphTable },
        json,
      ];
    case 'help':
      if (data && Array.isArray(data.colon)) return [{ id: 'help', label: 'Help', render: renderHelp }, json];
      return [{ id: 'document', label: 'Document', render: renderDocument }, json];
    case 'guide':
      return [{ id: 'guide', label: 'Guide', render: renderGuide }, json];
    case 'entropy':
      return [{ id: 'entropy', label: 'Charts', render: renderEntropy }, { id: 'document', label: 'Figures', render: renderDocument }, json];
    case 'statements':
      return [{ id: 'statements', label: 'Statements', render: renderStatements }, json];
    case 'rag':
      return [{ id: 'rag', label: 'Ranked', render: renderRag }, json];
    default:
      return [{ id: 'document', label: 'Document', render: renderDocument }, json];
  }
}
