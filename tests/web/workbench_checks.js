// The editor's helpers and the answers that need care in the page: a long
// answer's table built as a scrolling window of rows.
'use strict';

const { expect } = require('./harness.js');

module.exports = async function workbenchChecks(list, { page, run }) {
  await list.check('a long answer shows its table as a window of rows that follows the scroll', async () => {
    const frame = await run(page, 'UNWIND range(1, 3000) AS i RETURN i, "row " + toString(i) AS label');
    const table = frame.locator('.windowed-table');
    expect(await table.getAttribute('data-rows') === '3000', 'not a windowed table of 3000 rows');
    const built = await table.locator('tbody tr:not(.spacer)').count();
    expect(built > 10 && built < 200, `${built} rows built for a window`);
    expect(await table.locator('tbody tr:not(.spacer) td').first().textContent() === '1', 'does not start at row 1');
    await table.evaluate((el) => { el.scrollTop = el.scrollHeight; });
    await page.waitForFunction((el) => [...el.querySelectorAll('tbody td')].some((td) => td.textContent === 'row 3000'),
      await table.elementHandle());
    const cells = await table.locator('tbody tr:not(.spacer) td:first-child').allTextContents();
    expect(!cells.includes('1') && cells.includes('3000'), `rows after scrolling: ${cells.slice(0, 3).join(',')}…`);
  });
};
