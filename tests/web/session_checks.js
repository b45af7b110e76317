// Checks that need servers of their own: the connection indicator while a
// server stops and starts again on the same port (no reload), and the time
// to draw 852 nodes with the page kept responsive while the layout runs,
// with screenshots of that drawing at 1440x900 and 390x844.
'use strict';

const { startServer, expect } = require('./harness.js');

module.exports = async function sessionChecks(list, { context, watch, run, screenshot, unexpected }) {
  await list.check('the indicator says disconnected when the server stops and connected when it is back', async () => {
    let server = await startServer([]);
    const page = await context.newPage();
    const seen = watch(page);
    try {
      await page.goto(`${server.url}/`);
      const state = page.locator('#connection-state');
      await page.locator('#connection-state[data-state="connected"]').waitFor();
      const port = server.port;
      await server.stop();
      await page.locator('#connection-state[data-state="disconnected"]').waitFor({ timeout: 10000 });
      expect(await state.textContent() === 'disconnected', `says ${await state.textContent()}`);
      expect(await page.locator('#connection-retry').isVisible(), 'no Retry button');
      await screenshot(page, 'disconnected');
      server = await startServer([], {}, port);
      await page.locator('#connection-retry').click();
      await page.locator('#connection-state[data-state="connected"]').waitFor({ timeout: 10000 });
      expect(await page.locator('#connection-retry').isHidden(), 'Retry still shown');
      const frame = await run(page, 'RETURN 7 AS seven');
      expect(await frame.locator('tbody td').textContent() === '7', 'no answer after reconnecting');
      expect(unexpected(seen.errors).length === 0, unexpected(seen.errors).join(' | '));
    } finally {
      await page.close();
      await server.stop();
    }
  });

  await list.check('a long statement shows how far the server\'s migration has come', async () => {
    const server = await startServer([]);
    const page = await context.newPage();
    try {
      await page.goto(`${server.url}/`);
      await page.locator('#connection-state[data-state="connected"]').waitFor();
      // The server's progress route is answered as during a migration, and
      // the statement is held back long enough for the frame to ask.
      await page.route('**/v1/migrate/progress', (route) => route.fulfill({
        contentType: 'application/json',
        body: JSON.stringify({ running: true, source: 'x', records: 120000, bytes: 12000000, totalBytes: 377000000, seconds: 2 }),
      }));
      await page.route('**/v1/query', async (route) => {
        await new Promise((resolve) => setTimeout(resolve, 2500));
        await route.continue();
      });
      await page.fill('#editor-input', 'RETURN 1');
      await page.press('#editor-input', 'Control+Enter');
      const shown = page.locator('.frame .importing', { hasText: 'importing 120,000 records, 12.0 of 377.0 MB' });
      await shown.waitFor({ timeout: 5000 });
      await page.waitForFunction(() => {
        const frame = document.querySelector('.frame:not(.pinned)');
        return frame && !frame.hasAttribute('aria-busy') && frame.dataset.kind;
      }, null, { timeout: 10000 });
      expect(await shown.count() === 0, 'the progress stays after the answer');
    } finally {
      await page.close();
      await server.stop();
    }
  });

  await list.check('852 nodes draw at once and the page stays responsive while they settle', async () => {
    const server = await startServer(['--people', '900', '--papers', '60']);
    const page = await context.newPage();
    try {
      await page.setViewportSize({ width: 1440, height: 900 });
      await page.goto(`${server.url}/`);
      await page.locator('.frame[data-kind="guide"]').waitFor();
      await page.fill('#editor-input', 'MATCH (n:Person) WHERE id(n) < 852 RETURN n');
      // Time from the key press to the first drawn frame with every node,
      // then the longest gap between animation frames while the layout runs.
      const figures = page.evaluate(() => new Promise((resolve) => {
        const started = performance.now();
        let first = 0;
        let last = 0;
        let longest = 0;
        const tick = (now) => {
          const canvas = document.querySelector('.frame .graph-canvas');
          if (!first && canvas && canvas.dataset.nodes === '852') first = now - started;
          if (first) {
            if (last) longest = Math.max(longest, now - last);
            last = now;
          }
          if (first && canvas.dataset.layout === 'done') resolve({ first, longest, settled: now - started });
          else if (now - started > 60000) resolve({ first, longest, settled: -1 });
          else requestAnimationFrame(tick);
        };
        requestAnimationFrame(tick);
      }));
      await page.press('#editor-input', 'Control+Enter');
      const result = await figures;
      console.log(`     852 nodes: first frame ${result.first.toFixed(0)} ms, layout settled ${result.settled.toFixed(0)} ms, ` +
        `longest frame gap while settling ${result.longest.toFixed(0)} ms`);
      expect(result.first > 0 && result.first < 4000, `first frame after ${result.first} ms`);
      expect(result.settled > 0, 'the layout did not finish in a minute');
      // A force layout run to the end on the main thread freezes the page
      // for 3 to 15 seconds at this size; what remains is the renderer's own
      // cost of drawing a frame of 852 nodes and 2000 relationships (about
      // 0.3 to 1 s here, more when the tests share the machine).
      expect(result.longest < 3000, `the page froze for ${result.longest} ms`);
      await page.locator('.frame').first().getByRole('button', { name: 'Fit' }).click();
      await screenshot(page, 'graph-1440x900');
      await page.setViewportSize({ width: 390, height: 844 });
      await page.waitForTimeout(300);
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      expect(overflow <= 0, `page scrolls sideways by ${overflow}px at 390 wide`);
      await screenshot(page, 'graph-390x844');
    } finally {
      await page.close();
      await server.stop();
    }
  });
};
