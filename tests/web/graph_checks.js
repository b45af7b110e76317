// The graph view in the page: relationships drawn for row answers (from the
// answer and, for nodes alone, fetched), parallel relationships as separate
// curved edges, captions, twelve labels in twelve colours (also once the
// palette has been handed out), a legend colour and size that persist, the
// node and relationship inspector (types, element id, expand, hide, pin),
// expanding on a double-click, edge widths across zooms, and every export
// of a frame read back and parsed.
'use strict';

const { expect } = require('./harness.js');

// The drawn elements of `frame`'s canvas, once the drawing has its
// relationships (an answer of nodes alone fetches them after drawing).
async function drawing(frame) {
  const canvas = frame.locator('.graph-canvas');
  await canvas.waitFor();
  await frame.page().waitForFunction((el) => el.view && !el.dataset.connecting && el.dataset.layout === 'done',
    await canvas.elementHandle());
  return canvas.evaluate((el) => ({
    nodes: el.view.nodes(),
    edges: el.view.edges().map((e) => ({ id: e.key, type: e.type, source: e.source, target: e.target, curved: e.curved, label: e.text })),
  }));
}

module.exports = async function graphChecks(list, { page, server, run, post, screenshot, downloaded, context, clickGraphNode }) {
  await list.check('a row answer of nodes and relationships draws every relationship it carries', async () => {
    const statement = 'MATCH (a:Person)-[r:FOLLOWS]->(b) RETURN a, r, b LIMIT 12';
    const expected = await post(server, '/v1/query', { query: statement });
    const frame = await run(page, statement);
    const drawn = await drawing(frame);
    expect(drawn.edges.length === expected.rels.length && drawn.edges.length === 12,
      `drew ${drawn.edges.length} edges; the answer has ${expected.rels.length}`);
    expect(drawn.edges.every((e) => e.label === 'FOLLOWS'), 'edges do not show their type');
  });

  await list.check('an answer of nodes alone is connected by one fetch of the relationships among them', async () => {
    const statement = 'MATCH (n:Person) WHERE id(n) < 25 RETURN n';
    const answer = await post(server, '/v1/query', { query: statement });
    const ids = answer.nodes.map((n) => n.id);
    const among = await post(server, '/v1/query', {
      query: 'MATCH (a)-[r]->(b) WHERE id(a) IN $ids AND id(b) IN $ids RETURN count(r) AS c', params: { ids } });
    expect(answer.rels.length === 0 && among.count > 0, `test data: ${answer.rels.length} rels, ${among.count} among`);
    const frame = await run(page, statement);
    const drawn = await drawing(frame);
    expect(drawn.nodes.length === ids.length, `${drawn.nodes.length} nodes of ${ids.length}`);
    expect(drawn.edges.length === among.count, `${drawn.edges.length} edges; ${among.count} among the nodes`);
    await screenshot(page, 'graph-connected');
  });

  await list.check('parallel relationships are two curved edges, captions follow name, title, then a string', async () => {
    await post(server, '/v1/query', { query:
      "CREATE (a:Twin {name: 'left'})-[:LINK {n: 1}]->(b:Twin {title: 'right'}), (a)-[:LINK {n: 2}]->(b), (:Twin {code: 'third', n: 3})" });
    const frame = await run(page, 'MATCH (t:Twin) OPTIONAL MATCH (t)-[r]->(u) RETURN t, r, u');
    const drawn = await drawing(frame);
    const links = drawn.edges.filter((e) => e.type === 'LINK');
    expect(links.length === 2 && links[0].id !== links[1].id, `links: ${JSON.stringify(links)}`);
    expect(links.every((e) => e.curved), 'parallel edges are not bent apart');
    const captions = drawn.nodes.map((n) => n.caption).sort().join(',');
    expect(captions === 'left,right,third', `captions ${captions}`);
  });

  await list.check('twelve labels get twelve distinct colours; a legend colour and size persist across a reload', async () => {
    // A fresh style and no kept frames, so only this answer's labels take colours.
    await page.evaluate(() => ['halvex.graphStyle', 'halvex.frames'].forEach((slot) => localStorage.removeItem(slot)));
    await page.reload();
    await page.locator('.frame[data-kind="guide"]').waitFor();
    const labels = Array.from({ length: 12 }, (_, i) => `Hue${i + 1}`);
    await post(server, '/v1/query', { query: `CREATE ${labels.map((l, i) => `(:${l} {name: 'hue ${i + 1}'})`).join(', ')}` });
    const frame = await run(page, "MATCH (n) WHERE n.name STARTS WITH 'hue ' RETURN n ORDER BY n.name");
    const drawn = await drawing(frame);
    const colours = new Set(drawn.nodes.map((n) => n.colour));
    expect(drawn.nodes.length === 12 && colours.size === 12, `${colours.size} colours for ${drawn.nodes.length} nodes`);
    await screenshot(page, 'twelve-labels');
    const item = frame.locator('.legend-item[data-label="Hue3"]');
    await item.locator('summary').click();
    await item.locator('input.legend-colour').evaluate((input) => {
      input.value = '#123456';
      input.dispatchEvent(new Event('change', { bubbles: true }));
    });
    await item.locator('select.legend-size').selectOption('large');
    const hue3 = await frame.locator('.graph-canvas').evaluate((el) => {
      const node = el.view.nodes().find((n) => n.label === 'Hue3');
      return { colour: node.colour, size: node.size };
    });
    expect(hue3.colour === '#123456' && hue3.size === 38, `Hue3 drawn ${JSON.stringify(hue3)}`);
    await page.reload();
    await page.locator('.frame').first().waitFor();
    const again = await drawing(await run(page, "MATCH (n) WHERE n.name STARTS WITH 'hue ' RETURN n ORDER BY n.name"));
    const node = again.nodes.find((n) => n.label === 'Hue3');
    expect(node && node.colour === '#123456' && node.size === 38, `after a reload Hue3 is ${JSON.stringify(node)}`);
  });

  await list.check('after more than fourteen labels were seen, a graph of twelve still has twelve colours', async () => {
    // Twin and the twelve hues took the palette; three more labels, drawn
    // on their own, must run out of fresh colours and reuse some.
    await post(server, '/v1/query', { query: "CREATE (:Late1 {name: 'late 1'}), (:Late2 {name: 'late 2'}), (:Late3 {name: 'late 3'})" });
    await drawing(await run(page, "MATCH (n) WHERE n.name STARTS WITH 'late ' RETURN n"));
    const names = ['left', ...Array.from({ length: 8 }, (_, i) => `hue ${i + 1}`), 'late 1', 'late 2', 'late 3'];
    const drawn = await drawing(await run(page, `MATCH (n) WHERE n.name IN [${names.map((n) => `'${n}'`).join(', ')}] RETURN n`));
    const colours = new Map(drawn.nodes.map((n) => [n.label, n.colour]));
    expect(colours.size === 12 && new Set(colours.values()).size === 12,
      `${new Set(colours.values()).size} colours for ${colours.size} labels: ${JSON.stringify([...colours])}`);
  });

  await list.check('the caption property is chosen per label from the legend', async () => {
    const frame = await run(page, 'MATCH (t:Twin) RETURN t');
    const item = frame.locator('.legend-item[data-label="Twin"]');
    await item.locator('summary').click();
    await item.locator('select.legend-caption').selectOption('n');
    const captions = (await drawing(frame)).nodes.map((n) => n.caption).sort().join(',');
    expect(captions === '3,left,right', `captions ${captions}`);
    await item.locator('select.legend-caption').selectOption('');
  });

  await list.check('the inspector shows types and element ids; expand, pin and hide change the drawing', async () => {
    const frame = await run(page, 'MATCH (a:Person {id: 1})-[r:FOLLOWS]->(b) RETURN a, r LIMIT 1');
    const canvas = frame.locator('.graph-canvas');
    await drawing(frame);
    const box = await canvas.boundingBox();
    const at = await canvas.evaluate((el) => {
      const edge = el.view.edges()[0];
      return { ...el.view.point(edge.key), elementId: edge.elementId };
    });
    await page.mouse.click(box.x + at.x, box.y + at.y);
    const inspector = page.locator('#inspector[data-kind="relationship"]');
    await inspector.waitFor();
    expect(await inspector.locator('.inspector-label').textContent() === '[:FOLLOWS]', 'not the relationship');
    expect(await inspector.locator('.element-id').textContent() === at.elementId, 'element id missing');
    // The open inspector narrows the canvas, which refits the drawing.
    await page.waitForTimeout(300);
    await clickGraphNode(page, frame, 1);
    const nodeInspector = page.locator('#inspector[data-kind="node"]');
    expect((await nodeInspector.locator('.prop-type').allTextContents()).join() === 'String', 'the name is not typed String');
    expect(await nodeInspector.locator('.element-id').textContent() === '4:halvex:1', 'node element id missing');
    await nodeInspector.getByRole('button', { name: 'Expand' }).click();
    await nodeInspector.locator('.inspector-status', { hasText: 'added' }).waitFor();
    const expected = await post(server, '/v1/query', { query: 'MATCH (a)-[r]-(b) WHERE id(a) = 1 RETURN count(DISTINCT b) AS c' });
    const afterExpand = await canvas.evaluate((el) => el.view.nodes().length);
    expect(afterExpand === expected.count + 1, `${afterExpand} nodes after expanding; ${expected.count} neighbours`);
    const drawnIds = await canvas.evaluate((el) => el.view.nodes().map((n) => n.id));
    const among = await post(server, '/v1/query', {
      query: 'MATCH (a)-[r]->(b) WHERE id(a) IN $ids AND id(b) IN $ids RETURN count(r) AS c', params: { ids: drawnIds } });
    const edges = await canvas.evaluate((el) => el.view.edges().length);
    expect(edges === among.count, `${edges} edges after expanding; ${among.count} among the drawn nodes`);
    await nodeInspector.getByRole('button', { name: 'Pin' }).click();
    expect(await canvas.evaluate((el) => el.view.pinned('n1')), 'not pinned');
    await nodeInspector.getByRole('button', { name: 'Hide' }).click();
    const afterHide = await canvas.evaluate((el) => el.view.nodes().length);
    expect(afterHide === afterExpand - 1, `${afterHide} nodes after hiding one of ${afterExpand}`);
    await screenshot(page, 'expanded');
  });

  await list.check('a double-click expands a node both ways; edges keep a legible width when zoomed far out and in', async () => {
    const [all, incoming] = await Promise.all([
      post(server, '/v1/query', { query: 'MATCH (a)-[r]-(b) WHERE id(a) = 2 RETURN count(DISTINCT b) AS c' }),
      post(server, '/v1/query', { query: 'MATCH (b)-[r]->(a) WHERE id(a) = 2 RETURN count(r) AS c' })]);
    expect(incoming.count > 0 && all.count > 1, `test data: ${all.count} neighbours, ${incoming.count} incoming`);
    const frame = await run(page, 'MATCH (a:Person {id: 2}) RETURN a');
    const canvas = frame.locator('.graph-canvas');
    await drawing(frame);
    // The first click of a double-click opens the inspector, and a canvas
    // narrowed by it refits: open it beforehand, so the node stays put.
    const nodeAt = async () => {
      const p = await canvas.evaluate((el) => el.view.point(el.view.nodes()[0].key));
      const box = await canvas.boundingBox();
      return { x: box.x + p.x, y: box.y + p.y };
    };
    if (await page.locator('#inspector').isHidden()) {
      const p = await nodeAt();
      await page.mouse.click(p.x, p.y);
      await page.locator('#inspector:not([hidden])').waitFor();
      await page.waitForTimeout(300);
    }
    const at = await nodeAt();
    await page.mouse.dblclick(at.x, at.y);
    await page.waitForFunction((el) => el.dataset.nodes !== '1' && el.dataset.layout === 'done', await canvas.elementHandle());
    const drawn = await drawing(frame);
    expect(drawn.nodes.length === all.count + 1, `${drawn.nodes.length} nodes after a double-click; ${all.count} neighbours`);
    expect(drawn.edges.some((e) => e.target === 'n2') && drawn.edges.some((e) => e.source === 'n2'), 'not both directions');
    // As far out and as far in as the camera goes.
    for (const zoom of [0.05, 50]) {
      const width = await canvas.evaluate((el, level) => {
        el.view.zoom(level);
        return el.view.edgeWidth();
      }, zoom);
      expect(width >= 1 && width <= 3.6, `edges ${width.toFixed(2)} px wide at zoom ${zoom}`);
    }
    await frame.getByRole('button', { name: 'Fit' }).click();
  });

  await list.check('a frame exports CSV, JSON, PNG and SVG files and copies to the clipboard', async () => {
    const statement = 'MATCH (a:Person)-[r:FOLLOWS]->(b) RETURN a.name AS name, b, r LIMIT 6';
    const expected = await post(server, '/v1/query', { query: statement });
    const frame = await run(page, statement);
    await drawing(frame);
    await frame.locator('.frame-export summary').click();
    const click = (format) => () => frame.locator(`button[data-export="${format}"]`).click();
    const csv = await downloaded(page, click('csv'));
    const lines = csv.bytes.toString('utf8').trim().split('\r\n');
    expect(csv.name.endsWith('.csv') && lines[0] === 'name,b,r' && lines.length === 7, `csv ${lines.slice(0, 2).join(' / ')}`);
    expect(lines[1].startsWith(`${expected.data.rows[0][0]},"{`), `row ${lines[1]}`);
    await frame.locator('.frame-export summary').click();
    const json = JSON.parse((await downloaded(page, click('json'))).bytes.toString('utf8'));
    expect(json.length === 6 && json[0].name === expected.data.rows[0][0] && json[0].b.id === expected.data.rows[0][1].id, 'json rows');
    await frame.locator('.frame-export summary').click();
    const png = (await downloaded(page, click('png'))).bytes;
    expect(png.subarray(1, 4).toString('latin1') === 'PNG' && png.length > 1000, `png of ${png.length} bytes`);
    await frame.locator('.frame-export summary').click();
    const svg = (await downloaded(page, click('svg'))).bytes.toString('utf8');
    const circles = (svg.match(/<circle /g) || []).length;
    const paths = (svg.match(/<path [^>]*data-id="r/g) || []).length;
    expect(svg.includes('<svg') && circles === expected.nodes.length && paths === 6, `svg: ${circles} circles, ${paths} paths`);
    await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: server.url });
    await frame.locator('.frame-export summary').click();
    await click('copy')();
    await frame.locator('.frame-meta', { hasText: 'Copied' }).waitFor();
    const copied = JSON.parse(await page.evaluate(() => navigator.clipboard.readText()));
    expect(copied.length === 6 && copied[0].name === json[0].name, 'clipboard differs from the JSON export');
  });
};
