// The browser console in headless Chromium against a real server: the
// statements a user runs first (count, rows, a drawn path, several
// statements in one input, EXPLAIN, :help, a guide
// slide, explore), the graph view (relationships of row answers, nodes
// connected by a fetch, parallel relationships, captions, twelve label
// colours, legend choices), the editor's keys, error carets, exports, the
// inspector, frames kept across a reload, switching databases, an error
// frame, entropy charts, retrieval, themes and a narrow window, a node
// whose name is an HTML payload, the API-key flow on a second server that
// needs a key, the connection indicator across a server restart, and the
// time to draw 852 nodes. Screenshots of the main views go to the
// artifact directory, every view also at 1440x900 and 390x844.
'use strict';

const fs = require('node:fs');
const http = require('node:http');
const { startServer, launchBrowser, watch, screenshot, checklist, expect } = require('./harness.js');
const graphChecks = require('./graph_checks.js');
const editorChecks = require('./editor_checks.js');
const sessionChecks = require('./session_checks.js');
const workbenchChecks = require('./workbench_checks.js');
const viewChecks = require('./view_checks.js');

const PAYLOAD = '<img src=x onerror=window.__pwned=1>';
const API_KEY = 'k'.repeat(20) + '0123456789abcdefghij';

// One POST straight to the API (not through the page), for expected values.
function post(server, route, body, key) {
  return new Promise((resolve, reject) => {
    const data = JSON.stringify(body);
    const headers = { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(data) };
    if (key) headers.Authorization = `Bearer ${key}`;
    const request = http.request({ host: '127.0.0.1', port: server.port, path: route, method: 'POST', headers }, (response) => {
      let text = '';
      response.on('data', (chunk) => { text += chunk; });
      response.on('end', () => resolve(JSON.parse(text)));
    });
    request.on('error', reject);
    request.end(data);
  });
}

// Types `statement` into the editor, runs it with Ctrl+Enter and waits
// for the new top frame to finish; returns that frame's locator.
async function run(page, statement) {
  const before = await page.locator('.frame').count();
  await page.fill('#editor-input', statement);
  await page.press('#editor-input', 'Control+Enter');
  return settled(page, before);
}

async function settled(page, before, added = 1) {
  await page.waitForFunction(([n, k]) => document.querySelectorAll('.frame').length >= n + k, [before, added]);
  const frame = page.locator('.frame:not(.pinned)').first();
  await page.waitForFunction((el) => !el.hasAttribute('aria-busy') && el.dataset.kind, await frame.elementHandle());
  return frame;
}

// Clicks the drawn node `id` in the graph canvas of `frame`, once its
// layout is done. The node is first moved clear of the others (a layout may
// leave nodes touching); the canvas refits when its size changes (a scroll
// bar appearing), which can move the node between finding it and clicking:
// then the click is tried again.
async function clickGraphNode(page, frame, id) {
  const canvas = frame.locator('.graph-canvas');
  await page.waitForFunction((el) => el.dataset.layout === 'done', await canvas.elementHandle());
  for (let attempt = 0; ; attempt++) {
    const point = await canvas.evaluate((el, nid) => el.view.isolate(`n${nid}`), id);
    const box = await canvas.boundingBox();
    await page.mouse.click(box.x + point.x, box.y + point.y);
    await page.locator('#inspector:not([hidden]) .inspector-name').waitFor();
    if (attempt === 4 || await page.locator('#inspector h2').textContent() === `Node ${id}`) return;
    await page.waitForTimeout(200);
  }
}

// Console messages that are expected: the browser logs every 4xx answer
// of an API call, and the error and API-key checks cause some on purpose,
// as does the check that stops a server under the page.
function unexpected(errors) {
  return errors.filter((text) => !/Failed to load resource: (the server responded with a status of 40[01]|net::ERR_CONNECTION_REFUSED)/.test(text));
}

// Reads a downloaded file: the click `trigger` starts the download.
async function downloaded(page, trigger) {
  const [download] = await Promise.all([page.waitForEvent('download'), trigger()]);
  const file = await download.path();
  return { name: download.suggestedFilename(), bytes: fs.readFileSync(file) };
}

async function main() {
  const list = checklist();
  const server = await startServer(['--people', '60', '--papers', '20']);
  const keyed = await startServer([], { ORVANE_API_KEY: API_KEY });
  const { context, close } = await launchBrowser();
  try {
    const page = await context.newPage();
    const seen = watch(page);
    await page.goto(`${server.url}/`);
    const intro = page.locator('.frame[data-kind="guide"]');
    await intro.waitFor();

    await list.check('the console loads with the intro guide and no console errors', async () => {
      await page.locator('#database-select option[value="simple"]').waitFor({ state: 'attached' });
      await page.locator('.side-database .schema-button').first().waitFor();
      expect(seen.errors.length === 0, `errors on load: ${seen.errors.join(' | ')}`);
      expect(await page.locator('#connection-state').textContent() === 'connected', 'not connected');
      await screenshot(page, 'console-start');
    });

    await list.check('a MATCH count shows the count the API returns', async () => {
      const statement = 'MATCH (p:Person {id: 0})-[:FOLLOWS*1..2]->(x) RETURN count(DISTINCT x)';
      const expected = await post(server, '/v1/query', { query: statement });
      const frame = await run(page, statement);
      expect(await frame.getAttribute('data-kind') === 'count', 'not a count frame');
      const shown = await frame.locator('.count-value').textContent();
      expect(shown === String(expected.count), `shows ${shown}, API says ${expected.count}`);
    });

    await list.check('a row query opens drawn; its table has node chips', async () => {
      const frame = await run(page, 'MATCH (p:Person)-[:FOLLOWS]->(x) RETURN p, x.name LIMIT 5');
      expect(await frame.locator('button.tab[aria-selected="true"]').getAttribute('data-view') === 'graph', 'not drawn first');
      await frame.locator('button.tab[data-view="table"]').click();
      expect(await frame.locator('tbody tr').count() === 5, 'not 5 rows');
      expect(await frame.locator('thead th').allTextContents().then((t) => t.join(',')) === 'p,x.name', 'wrong columns');
      expect(await frame.locator('tbody .node-chip').count() === 5, 'node objects are not chips');
      await screenshot(page, 'table');
    });

    await list.check("a path query draws the answer's nodes and relationships", async () => {
      const statement = 'MATCH p = (a:Person)-[:FOLLOWS]->(b)-[:FOLLOWS]->(c) RETURN p LIMIT 3';
      const expected = await post(server, '/v1/query', { query: statement });
      expect(expected.rels.length >= 2, 'the path query found too little to test');
      const frame = await run(page, statement);
      await frame.locator('button.tab[data-view="graph"]').click();
      const canvas = frame.locator('.graph-canvas');
      await canvas.waitFor();
      expect(await canvas.getAttribute('data-nodes') === String(expected.nodes.length),
        `drew ${await canvas.getAttribute('data-nodes')} of ${expected.nodes.length} nodes`);
      expect(await canvas.getAttribute('data-rels') === String(expected.rels.length),
        `drew ${await canvas.getAttribute('data-rels')} of ${expected.rels.length} relationships`);
    });

    await list.check('several statements run in order, each in its own frame, and stop at the first error', async () => {
      const before = await page.locator('.frame').count();
      await page.fill('#editor-input', 'RETURN 1 AS one;\n:params\nRETURN nothing; RETURN 2');
      await page.press('#editor-input', 'Control+Enter');
      await settled(page, before, 3);
      await page.waitForTimeout(300);
      expect(await page.locator('.frame').count() === before + 3, 'the statement after the error ran');
      const statements = await page.locator('.frame:not(.pinned) > .frame-header .frame-statement').allTextContents();
      expect(statements.slice(0, 3).join(' | ') === 'RETURN nothing | :params | RETURN 1 AS one', statements.slice(0, 3).join(' | '));
      const frames = page.locator('.frame:not(.pinned)');
      expect(await frames.nth(2).locator('tbody td').textContent() === '1', 'first answer missing');
      expect((await frames.nth(0).locator('.error-message').textContent()).startsWith('Variable `nothing` not defined'),
        'no error of the third statement');
      await screenshot(page, 'statements');
    });

    await list.check('EXPLAIN shows the operator tree without running', async () => {
      const frame = await run(page, 'EXPLAIN MATCH (p:Person {id: $id})-[:FOLLOWS*0..3]->(x) RETURN x.name');
      const operators = await frame.locator('.plan-operator').allTextContents();
      expect(operators[0] === 'ProduceResults' && operators.includes('VarLengthExpand(All)'), operators.join('>'));
      const counted = await run(page, 'EXPLAIN MATCH (p:Person {id: $id})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)');
      const method = await counted.locator('.plan-operator').allTextContents();
      expect(method[0] === 'ProduceResults' && method[method.length - 1] === 'BreadthFirstReach', method.join('>'));
      expect((await frame.locator('.facts').textContent()).includes('no (EXPLAIN)'), 'claims to have run');
      await screenshot(page, 'plan');
    });

    await list.check(':help lists every command and example as a runnable button', async () => {
      const expected = await post(server, '/v1/query', { query: ':help' });
      const frame = await run(page, ':help');
      const buttons = await frame.locator('.statement-button').allTextContents();
      expect(buttons.length === expected.data.colon.length + expected.data.cypher.length, `${buttons.length} buttons`);
      expect(buttons.includes(':play entropy') && buttons.includes('CALL orvane.explore($id, 2)'), 'missing entries');
    });

    await list.check("a guide slide's statement runs from the slide", async () => {
      const guide = page.locator('.frame[data-kind="guide"]').last();
      await guide.getByRole('button', { name: 'Next slide' }).click();
      const statement = await guide.locator('.slide-statement').textContent();
      expect(statement.startsWith('MATCH'), `slide 2 shows ${statement}`);
      const before = await page.locator('.frame').count();
      await guide.locator('.slide-run').click();
      const frame = await settled(page, before);
      expect(await frame.locator('.frame-statement').textContent() === statement, 'ran something else');
      expect(await frame.getAttribute('data-kind') === 'count', 'slide statement did not count');
    });

    let exploreNodes = [];
    await list.check('explore draws as many nodes as the API returned', async () => {
      const expected = await post(server, '/v1/query', { query: 'CALL orvane.explore(0, 2)' });
      exploreNodes = expected.nodes;
      const frame = await run(page, 'CALL orvane.explore(0, 2)');
      const canvas = frame.locator('.graph-canvas');
      expect(expected.nodes.length > 10, 'explore returned too little to test');
      expect(await canvas.getAttribute('data-nodes') === String(expected.nodes.length),
        `drew ${await canvas.getAttribute('data-nodes')} of ${expected.nodes.length}`);
      expect(await canvas.getAttribute('data-rels') === String(expected.rels.length), 'relationship count differs');
      // The picture of the settled layout, not of the first placement.
      await page.waitForFunction((el) => el.dataset.layout === 'done', await canvas.elementHandle());
      await screenshot(page, 'graph');
    });

    await list.check('clicking a node opens the inspector with its properties', async () => {
      const frame = page.locator('.frame[data-kind="graph"]').first();
      const target = exploreNodes[3];
      await clickGraphNode(page, frame, target.id);
      const inspector = page.locator('#inspector');
      expect(await inspector.locator('.inspector-name').textContent() === target.name, 'wrong node');
      const row = inspector.locator('table.properties tr', { hasText: 'name' });
      expect(await row.locator('td').textContent() === target.name, 'name property missing');
      expect(await row.locator('.prop-type').textContent() === 'String', 'no property type');
      await screenshot(page, 'inspector');
      await page.keyboard.press('Escape');
      expect(await inspector.isHidden(), 'Escape did not close the inspector');
    });

    await list.check('the database selector switches the current database', async () => {
      const before = await page.locator('.frame').count();
      await page.selectOption('#database-select', 'simple');
      const frame = await settled(page, before);
      expect((await frame.locator('.frame-statement').textContent()) === 'USE simple', 'no USE statement');
      const databases = await new Promise((resolve) => http.get(`${server.url}/v1/databases`, (r) => {
        let t = '';
        r.on('data', (c) => { t += c; });
        r.on('end', () => resolve(JSON.parse(t)));
      }));
      expect(databases.current === 'simple', `current is ${databases.current}`);
      await page.locator('.side-database .current-db', { hasText: 'simple' }).waitFor();
      await run(page, 'USE orvane');
      await page.waitForFunction(() => document.querySelector('#database-select').value === 'orvane');
    });

    await list.check("a failing statement shows the server's message inline", async () => {
      const frame = await run(page, 'hello');
      expect(await frame.evaluate((el) => el.classList.contains('frame-error')), 'not marked as an error');
      expect(await frame.locator('.error-message').textContent() === 'unrecognized query — try :help', 'wrong message');
      await screenshot(page, 'error');
    });

    await list.check('the entropy lab and ladder are drawn as charts', async () => {
      let frame = await run(page, 'CALL orvane.entropy.lab()');
      expect(await frame.locator('svg.chart').count() === 2, 'lab charts missing');
      expect(await frame.locator('svg.chart rect.bar').count() >= 2 + 12, 'lab bars missing');
      await screenshot(page, 'entropy-lab');
      frame = await run(page, 'CALL orvane.entropy.ladder()');
      expect(await frame.locator('svg.chart').count() === 2, 'ladder charts missing');
      expect(await frame.locator('svg.chart').first().locator('rect.bar').count() === 5, 'not five layouts');
      await screenshot(page, 'entropy-ladder');
    });

    await list.check(':rag shows a ranked list with scores, texts and authors', async () => {
      const frame = await run(page, ':rag');
      const expected = await post(server, '/v1/query', { query: ':rag' });
      const items = frame.locator('.rag-item');
      expect(await items.count() === expected.data.documents.length, 'not one item per document');
      expect((await items.first().locator('.rag-name').textContent()) === expected.data.documents[0].name, 'wrong order');
      expect(await items.first().locator('.rag-authors .tag').count() === expected.data.documents[0].authors.length, 'authors missing');
      await screenshot(page, 'rag');
    });

    await list.check('a node named with HTML renders as text everywhere and runs nothing', async () => {
      const created = await post(server, '/v1/query', { query: `CREATE (:Person {name: '${PAYLOAD}'})` });
      const id = created.data.id;
      await post(server, '/v1/query', { query: `CREATE (${id})-[:FOLLOWS]->(0)` });
      const table = await run(page, `MATCH (n:Person {id: ${id}}) RETURN n, n.name`);
      await table.locator('button.tab[data-view="table"]').click();
      const cells = await table.locator('tbody td').allTextContents();
      expect(cells[1] === PAYLOAD && cells[0].includes(PAYLOAD), `table shows ${cells.join(' | ')}`);
      const graph = await run(page, `CALL orvane.explore(${id}, 1)`);
      const caption = await graph.locator('.graph-canvas').evaluate((el, nid) => el.view.nodes().find((n) => n.id === nid).caption, id);
      expect(caption === PAYLOAD, `graph caption is ${caption}`);
      await clickGraphNode(page, graph, id);
      expect(await page.locator('#inspector .inspector-name').textContent() === PAYLOAD, 'inspector name differs');
      await screenshot(page, 'hostile-name');
      const injected = await page.evaluate(() => ({
        pwned: window.__pwned, images: [...document.querySelectorAll('img')].filter((img) => !img.src.endsWith('/img/logo.svg')).length,
      }));
      expect(injected.pwned === undefined && injected.images === 0, JSON.stringify(injected));
      await page.keyboard.press('Escape');
    });

    await list.check('frames can be pinned, collapsed, re-run and closed; history walks back', async () => {
      const frame = await run(page, 'MATCH (n) RETURN count(n)');
      await frame.getByRole('button', { name: 'Pin' }).click();
      await run(page, ':params');
      expect(await page.locator('.frame').first().evaluate((el) => el.classList.contains('pinned')), 'pinned frame left the top');
      const pinned = page.locator('.frame.pinned');
      await pinned.getByRole('button', { name: 'Collapse' }).click();
      expect(await pinned.locator('.frame-content').isHidden(), 'did not collapse');
      await pinned.getByRole('button', { name: 'Expand' }).click();
      await pinned.getByRole('button', { name: 'Re-run' }).click();
      await page.waitForFunction(() => !document.querySelector('.frame.pinned').hasAttribute('aria-busy'));
      const frames = await page.locator('.frame').count();
      await pinned.getByRole('button', { name: 'Close frame' }).click();
      expect(await page.locator('.frame').count() === frames - 1, 'did not close');
      await page.focus('#editor-input');
      await page.keyboard.press('ArrowUp');
      expect(await page.inputValue('#editor-input') === ':params', 'history did not recall the last statement');
      await page.fill('#editor-input', '');
    });

    await list.check('dark theme and a narrow window stay readable', async () => {
      await page.click('#theme-toggle');
      expect(await page.evaluate(() => document.documentElement.dataset.theme) === 'dark', 'theme did not switch');
      await run(page, 'CALL orvane.explore(0, 2)');
      await screenshot(page, 'dark');
      await page.setViewportSize({ width: 420, height: 800 });
      await page.waitForTimeout(100);
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      expect(overflow <= 0, `page scrolls sideways by ${overflow}px`);
      await screenshot(page, 'narrow');
      await page.setViewportSize({ width: 1280, height: 800 });
      await page.click('#theme-toggle');
    });

    await graphChecks(list, { page, server, run, post, screenshot, downloaded, context, clickGraphNode });
    await editorChecks(list, { page, run, settled, screenshot });
    await workbenchChecks(list, { page, run, settled, screenshot });
    await workbenchChecks.completion(list, { page, screenshot });
    await workbenchChecks.schema(list, { page, run, post, server, screenshot });
    await workbenchChecks.favourites(list, { page, settled, screenshot });
    await workbenchChecks.sizes(list, { page, screenshot });
    await viewChecks(list, { page, run, screenshot });

    await list.check('the product site loads', async () => {
      const site = await context.newPage();
      const siteSeen = watch(site);
      await site.goto(`${server.url}/site/`);
      expect((await site.locator('h1').textContent()).includes('Halvex'), 'no title');
      expect((await site.textContent('body')).includes('make run'), 'no quick start');
      await screenshot(site, 'site');
      await site.locator('#entropy').scrollIntoViewIfNeeded();
      expect(await site.locator('#entropy img').evaluate((img) => img.complete && img.naturalWidth > 0), 'entropy picture missing');
      await screenshot(site, 'site-entropy');
      expect(siteSeen.errors.length === 0 && siteSeen.foreign.length === 0, JSON.stringify(siteSeen));
      await site.close();
    });

    await list.check('the API-key flow: refused without the key, working with it', async () => {
      const keyPage = await context.newPage();
      const keySeen = watch(keyPage);
      await keyPage.goto(`${keyed.url}/`);
      await keyPage.locator('#connection-state', { hasText: 'API key required' }).waitFor();
      const refused = await run(keyPage, 'MATCH (n) RETURN count(n)');
      expect(await refused.locator('.error-message').textContent() === 'API key required', 'no key error frame');
      await keyPage.fill('#api-key-input', API_KEY);
      await keyPage.click('#api-key-form button[type="submit"]');
      await keyPage.locator('#connection-state', { hasText: 'connected' }).waitFor();
      expect(await keyPage.evaluate(() => sessionStorage.getItem('halvex.apiKey')) === API_KEY, 'key not in sessionStorage');
      const accepted = await run(keyPage, 'MATCH (n) RETURN count(n)');
      expect(await accepted.getAttribute('data-kind') === 'count', 'still refused with the key');
      await screenshot(keyPage, 'api-key');
      expect(unexpected(keySeen.errors).length === 0 && keySeen.foreign.length === 0, JSON.stringify(keySeen));
      await keyPage.close();
    });

    await sessionChecks(list, { context, watch, run, screenshot, unexpected });

    await list.check('no console errors, dialogs or requests beyond 127.0.0.1', async () => {
      expect(unexpected(seen.errors).length === 0, unexpected(seen.errors).join(' | '));
      expect(seen.dialogs.length === 0, `dialogs: ${seen.dialogs.join(' | ')}`);
      expect(seen.foreign.length === 0, `foreign requests: ${seen.foreign.join(' | ')}`);
    });
  } finally {
    await close();
    await server.stop();
    await keyed.stop();
  }
  list.finish();
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
