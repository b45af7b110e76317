// The editor and the frame stream in the page: plain Enter runs a one-line
// statement, Shift+Enter adds a line (and Enter then adds lines too),
// Ctrl+Enter and Cmd+Enter run a multi-line input; an error with a
// position shows the line with a caret under the column; frames come back
// after a reload without running again.
'use strict';

const { expect } = require('./harness.js');

module.exports = async function editorChecks(list, { page, run, settled, screenshot }) {
  await list.check('Enter runs a one-line statement; Shift+Enter adds a line; Ctrl+Enter and Cmd+Enter run several lines', async () => {
    let before = await page.locator('.frame').count();
    await page.fill('#editor-input', 'RETURN 41 + 1 AS answer');
    await page.press('#editor-input', 'Enter');
    let frame = await settled(page, before);
    expect(await frame.locator('.frame-statement').first().textContent() === 'RETURN 41 + 1 AS answer', 'Enter did not run it');
    expect(await page.inputValue('#editor-input') === '', 'the editor kept the statement');
    await page.fill('#editor-input', 'RETURN 1 AS a,');
    await page.press('#editor-input', 'Shift+Enter');
    await page.type('#editor-input', '2 AS b');
    await page.press('#editor-input', 'Enter');
    await page.type('#editor-input', ', 3 AS c');
    expect(await page.inputValue('#editor-input') === 'RETURN 1 AS a,\n2 AS b\n, 3 AS c', 'Shift+Enter or Enter did not add lines');
    expect(await page.locator('.frame').count() === before + 1, 'a multi-line input ran on Enter');
    before = await page.locator('.frame').count();
    await page.press('#editor-input', 'Control+Enter');
    frame = await settled(page, before);
    expect(await frame.locator('thead th').allTextContents().then((t) => t.join(',')) === 'a,b,c', 'Ctrl+Enter did not run it');
    // Cmd+Enter, as on a Mac, runs a multi-line input too.
    await page.fill('#editor-input', 'RETURN 6\nAS six');
    before = await page.locator('.frame').count();
    await page.press('#editor-input', 'Meta+Enter');
    frame = await settled(page, before);
    expect(await frame.locator('thead th').textContent() === 'six', 'Cmd+Enter did not run it');
  });

  await list.check('an error with a position shows its line with a caret under the column', async () => {
    const frame = await run(page, 'MATCH (n)\nRETURN nope(n)');
    const place = frame.locator('.error-position');
    expect(await place.getAttribute('data-line') === '2' && await place.getAttribute('data-column') === '8', 'wrong place');
    expect(await place.locator('.error-line').textContent() === 'RETURN nope(n)', 'not the erring line');
    expect(await place.locator('.error-caret').textContent() === `${' '.repeat(7)}^`, 'caret not under column 8');
    const [lineBox, caretBox] = await Promise.all([place.locator('.error-line').boundingBox(), place.locator('.error-caret').boundingBox()]);
    const charWidth = lineBox.width / 'RETURN nope(n)'.length;
    expect(Math.abs(caretBox.x + caretBox.width - charWidth - (lineBox.x + 7 * charWidth)) < 1.5, 'caret not drawn under the column');
    await screenshot(page, 'error-caret');
  });

  await list.check('frames survive a reload, shown from their kept results without running again', async () => {
    const statements = await page.locator('.frame > .frame-header .frame-statement').allTextContents();
    // The side panel and drawings of nodes alone send statements of their
    // own; none of the frames' statements may run again.
    const posted = [];
    const count = (request) => {
      if (request.url().endsWith('/v1/query')) posted.push(JSON.parse(request.postData()).query);
    };
    page.on('request', count);
    await page.reload();
    await page.locator('#console-ready').waitFor({ state: 'attached' });
    await page.waitForFunction((n) => document.querySelectorAll('.frame').length === n, statements.length);
    const after = await page.locator('.frame > .frame-header .frame-statement').allTextContents();
    await page.waitForTimeout(300);
    page.off('request', count);
    expect(after.join('\n') === statements.join('\n'), `frames after the reload: ${after.slice(0, 3).join(' | ')}`);
    expect(await page.locator('.frame').first().locator('.error-caret').count() === 1, 'the error frame lost its caret');
    const again = posted.filter((query) => statements.includes(query));
    expect(again.length === 0, `ran again on reload: ${again.join(' | ')}`);
  });
};
