// verdal --demo in its own window under Xvfb, driven through WebKitWebDriver: the window as the
// desktop sees it, one main road of the program in WebKit, and closing the window.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import test from 'node:test';

import {AUDIT} from '../browser/audit.js';
import {BOUND, eventually, inFolder, integrity} from '../browser/harness.js';

import {
    By,
    comm,
    findWindow,
    into,
    noDialog,
    openWindow,
    parentOf,
    probe,
    processes,
    rows,
    search,
    sharedDisplay,
    shows,
    until
} from './window_session.js';

const { skip } = sharedDisplay();

// True when the process is pid or descends from it.
const within = (p, pid) => p > 1 && (p === pid || within(parentOf(p), pid));

async function row(driver, list, name) {
    await into(driver);
    const grid = (await driver.findElements(By.css('[role=grid]')))[list];
    return grid.findElement(
        By.xpath(`.//*[@role='row'][.//*[@role='gridcell' and normalize-space()="${name}"]]`));
}

// Acts on the row, which act is given; a list drawn again between finding the row and acting on
// it leaves a stale element, and the row is then found again.
function onRow(driver, list, name, act) {
    return eventually(async () => {
        try {
            await act(await row(driver, list, name));
            return true;
        } catch (e) {
            if (e.name !== 'StaleElementReferenceError') throw e;
        }
    }, `the row "${name}" to act on`);
}

// Right-clicks the row and chooses the entry of the popup menu that opens.
async function choose(driver, list, name, popup, entry) {
    await onRow(driver, list, name, async (target) => {
        await target.click();
        await driver.actions().contextClick(target).perform();
    });
    await driver.switchTo().defaultContent();
    const menu = await driver.wait(
        until.elementLocated(By.css(`[role=menu][aria-label="${popup}"]`)), BOUND);
    await menu.findElement(By.xpath(`.//*[@role='menuitem' and normalize-space()="${entry}"]`))
        .click();
}

test(
    'verdal --demo in its own window: the desktop sees it, the main road works, closing it ends verdal',
    { skip, timeout: 400000 },
    () => inFolder(async (home, keep) => {
        const s = keep(await openWindow(['--demo'], { home }));
        const { driver } = s;
        // The window as the desktop sees it: title, content size, centred, class, icon, owner.
        const shown = findWindow();
        assert.ok(shown, 'a window titled Verdal2012');
        assert.deepEqual([shown.width, shown.height], [1010, 600]);
        assert.deepEqual([shown.x, shown.y],
                         [(shown.screenWidth - 1010) / 2, (shown.screenHeight - 600) / 2]);
        // The class by which docks group the window under the desktop entry.
        const entry =
            fs.readFileSync(new URL('../../packaging/verdal.desktop', import.meta.url), 'utf8');
        const wmClass = entry.match(/^StartupWMClass=(.*)$/m)[1];
        assert.deepEqual(shown.class, [wmClass, wmClass]);
        assert.ok(shown.iconSizes.includes(48) && shown.iconSizes.includes(128),
                  shown.iconSizes.join());
        assert.deepEqual([comm(shown.pid), parentOf(shown.pid), comm(s.pidOf())],
                         ['verdal-window', s.pidOf(), 'verdal']);
        const browsers = processes((p) => within(parentOf(p), s.pidOf()) && /chrom/i.test(comm(p)));
        assert.deepEqual(browsers, []);

        await shows(driver, 'message', 'DEVICE CONNECTED');
        await shows(driver, 'cfnumber', 'DEVICE CAPACITY: 3/20');

        // The accessibility audit of the browser tests finds nothing in WebKit either, in the
        // shell or in the main page.
        await driver.switchTo().defaultContent();
        assert.deepEqual(await driver.executeScript(AUDIT), [], 'the shell');
        await into(driver);
        assert.deepEqual(await driver.executeScript(AUDIT), [], 'the main page');

        await driver.findElement(By.id('updategof')).click();
        await shows(driver, 'message', 'UPDATE GOF FILE COMPLETED');
        await noDialog(driver);

        // A country, then a keyword from a course of that country.
        await into(driver);
        await driver.findElement(By.css('#country option[value="USA"]')).click();
        const inUsa = await search(driver, (cells) => cells[1] === 'USA');
        const word = inUsa[0][0].split(' ')[0];
        await driver.findElement(By.id('keyword')).sendKeys(word);
        const found = await search(driver, (cells) => cells[0].includes(word));
        assert.ok(found.some((cells) => cells[0] === inUsa[0][0]), JSON.stringify(found));
        const course = found[0][0];
        // A double-click picks a row; it selects none of its text.
        await onRow(driver, 1, course, (target) => driver.actions().doubleClick(target).perform());
        assert.equal(await driver.executeScript('return document.getSelection().toString()'), '');

        await choose(driver, 1, course, 'GOLF', 'Course Information');
        await into(driver, 'dialog');
        await driver.wait(until.elementTextIs(await driver.findElement(By.id('titletext')), course),
                          BOUND, `the course information of ${course}`);
        for (const id of ['address', 'telephone', 'email', 'par01', 'par18'])
            assert.notEqual((await driver.findElement(By.id(id)).getText()).trim(), '', id);
        await driver.findElement(By.id('MsgExit')).click();
        await noDialog(driver);

        await choose(driver, 1, course, 'GOLF', 'Add to Device');
        await shows(driver, 'cfnumber', 'DEVICE CAPACITY: 4/20');
        await noDialog(driver);
        await choose(driver, 0, 'Heron Lakes Golf', 'Device', 'Remove Course');
        await shows(driver, 'cfnumber', 'DEVICE CAPACITY: 3/20');
        await noDialog(driver);
        assert.ok(!(await rows(driver, 0)).some((cells) => cells[0] === 'Heron Lakes Golf'));

        // The page may not leave the program's address: a navigation to another server on this
        // machine never reaches it.
        const asked = [];
        const elsewhere = http.createServer((request, response) => {
            asked.push(request.url);
            response.end('<title>elsewhere</title>');
        });
        await new Promise((resolve) => elsewhere.listen(0, '127.0.0.1', resolve));
        try {
            await driver.switchTo().defaultContent();
            await driver.executeScript(
                `window.location.assign('http://127.0.0.1:${elsewhere.address().port}/elsewhere')`);
            await eventually(() => asked.length > 0, 'a request elsewhere', {
                bound: 1500
            }).then(() => assert.fail(`the page left the program: ${asked}`), () => {});
        } finally { elsewhere.close(); }
        await shows(driver, 'cfnumber', 'DEVICE CAPACITY: 3/20');

        // The window manager's close ends verdal as SIGTERM does, within 2 s.
        const start = Date.now();
        assert.notEqual(probe('close', shown.id), null);
        assert.equal(await eventually(s.exitCode, 'verdal ends'), 0);
        const ms = Date.now() - start;
        console.log(`# window closed to verdal's exit: ${ms} ms`);
        assert.ok(ms < 2000, `${ms} ms`);
        assert.equal(integrity(s.data), 'ok');

        // No website data outside the data folder.
        const written = execFileSync('find', [home]).toString().split('\n');
        assert.deepEqual(written.filter((f) => /webkit|cookie|storage|indexeddb/i.test(f)), []);
    }));
