// Every kind of frame at a desktop (1440x900) and a phone (390x844) size:
// a table, a drawn graph, a plan, an error with its caret, the schema, the
// entropy charts, a ranked retrieval, :help, a guide and the inspector.
// Each is screenshot at both sizes into the artifact directory (named
// view-<kind>-<width>x<height>.png) and the phone size must not scroll
// sideways. The statements run once; the sizes only change the window.
'use strict';

const { expect } = require('./harness.js');

const VIEWS = [
  ['table', 'MATCH (p:Person) RETURN p.name AS name, id(p) AS id ORDER BY id LIMIT 8'],
  ['graph', 'MATCH (a:Person)-[r:FOLLOWS]->(b) WHERE id(a) < 6 RETURN a, r, b'],
  ['plan', 'EXPLAIN MATCH (p:Person {id: $id})-[:FOLLOWS*0..3]->(x) RETURN x.name'],
  ['error', 'MATCH (n)\nRETURN nope(n)'],
  ['schema', 'CALL db.schema.visualization()'],
  ['entropy', 'CALL orvane.entropy.lab()'],
  ['rag', ':rag'],
  ['help', ':help'],
  ['guide', ':play intro'],
  ['inspector', 'MATCH (p:Person) RETURN p, p.name LIMIT 3'],
];

const SIZES = [[1440, 900], [390, 844]];

module.exports = async function viewChecks(list, { page, run, screenshot }) {
  await list.check('every view at 1440x900 and 390x844: screenshots, and no sideways scroll on a phone', async () => {
    const frames = [];
    for (const [name, statement] of VIEWS) {
      const frame = await run(page, statement);
      const canvas = frame.locator('.graph-canvas');
      if (await canvas.count()) await page.waitForFunction((el) => el.dataset.layout === 'done', await canvas.elementHandle());
      frames.push([name, await frame.elementHandle()]);
    }
    const problems = [];
    for (const [width, height] of SIZES) {
      await page.setViewportSize({ width, height });
      // A phone-sized window closes the side panel from a media-query
      // event that fires after the resize returns.
      if (width <= 860) await page.waitForFunction(() => document.getElementById('sidebar').hidden);
      for (const [name, frame] of frames) {
        if (name === 'inspector') {
          await frame.evaluate((el) => el.querySelector('button.tab[data-view="table"]').click());
          await frame.evaluate((el) => el.querySelector('.node-chip').click());
          await page.locator('#inspector:not([hidden]) .inspector-name').waitFor();
        }
        await frame.evaluate((el) => el.scrollIntoView({ block: 'start' }));
        await page.waitForTimeout(150);
        await screenshot(page, `view-${name}-${width}x${height}`);
        const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
        if (overflow > 0) problems.push(`${name} at ${width} wide scrolls sideways by ${overflow}px`);
        if (name === 'inspector') await page.keyboard.press('Escape');
      }
    }
    expect(problems.length === 0, problems.join('; '));
    await page.setViewportSize({ width: 1280, height: 800 });
    if (await page.locator('#sidebar').isHidden()) await page.click('#sidebar-toggle');
    await page.evaluate(() => document.getElementById('side-tab-database').click());
  });
};
