// Which views a result offers, first one shown: every frame can show its
// raw JSON; rows that carry nodes, relationships or paths (the answer's
// graph arrays, or such values in the rows) open drawn, as in Neo4j
// Browser, with the table one tab away; explore results are drawn; plans, guides,
// entropy reports, retrieval answers, the schema and inputs of several
// statements have views of their own.

import { renderTable } from './table.js';
import { renderJson } from './json.js';
import { renderPlan } from './plan.js';
import { renderGraph, renderGraphTable } from './graph.js';
import { hasGraph } from './graph_data.js';
import { renderHelp, renderDocument } from './document.js';
import { renderGuide } from './guide.js';
import { renderEntropy } from './entropy.js';
import { renderRag } from './rag.js';
import { renderStatements } from './statements.js';
import { renderSchema } from './schema.js';

const json = { id: 'json', label: 'JSON', render: renderJson };

export function viewsFor(result) {
  const data = result.data && typeof result.data === 'object' ? result.data : null;
  switch (result.kind) {
    case 'count':
    case 'rows': {
      const table = { id: 'table', label: 'Table', render: renderTable };
      if (result.kind === 'rows' && hasGraph(result)) return [{ id: 'graph', label: 'Graph', render: renderGraph }, table, json];
      return [table, json];
    }
    case 'plan':
      return [{ id: 'plan', label: 'Plan', render: renderPlan }, json];
    case 'graph':
      return [
        { id: 'graph', label: 'Graph', render: renderGraph },
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
    case 'schema':
      return [{ id: 'graph', label: 'Schema', render: renderSchema }, { id: 'document', label: 'Figures', render: renderDocument }, json];
    case 'rag':
      return [{ id: 'rag', label: 'Ranked', render: renderRag }, json];
    default:
      return [{ id: 'document', label: 'Document', render: renderDocument }, json];
  }
}
