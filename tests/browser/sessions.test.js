// Many pages on one verdal at once: 20 browser sessions load the page, click a list row and
// close, five rounds over. verdal keeps serving, its resident memory comes back to within 3 MiB
// of where it started, and it holds no descriptor more than before. The figures are printed.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import test from 'node:test';

import {eventually, mainFrame, sharedBrowser} from './harness.js';

import {open, using, status, devices, courseRows} from './app_session.js';

const { skip, browser } = sharedBrowser();

const SESSIONS = 20;
const ROUNDS = 5;

const residentKiB = (pid) =>
    Number(fs.readFileSync(`/proc/${pid}/status`, 'utf8').match(/^VmRSS:\s+(\d+)/m)[1]);
const descriptors = (pid) => fs.readdirSync(`/proc/${pid}/fd`).length;

// One session: the page loads, shows the device, takes a click on a row, and closes.
async function session(url) {
    const context = await browser().newContext({ viewport: { width: 1010, height: 600 } });
    try {
        const page = await context.newPage();
        await page.goto(url);
        await courseRows(mainFrame(page).getByRole('grid').first()).first().click();
    } finally { await context.close(); }
}

test(
    '20 pages at once, five rounds: verdal keeps serving with memory and descriptors back where they were',
    { skip, timeout: 600000 },
    () => using(open(browser()), async (s) => {
        // The first page stays open throughout, as a user's window would.
        await status(s, 'DEVICE CONNECTED');
        await courseRows(devices(s)).first().waitFor();
        const pid = s.verdal.child.pid;
        const url = s.verdal.lines.find((line) => line.startsWith('http'));
        const round = () => Promise.all(Array.from({ length: SESSIONS }, () => session(url)));
        const settled = (fds, what) => eventually(() => descriptors(pid) <= fds, what);
        // One round first, so that what a session leaves for good (the pages' resources read
        // once, the server's buffers grown) counts in the start.
        await round();
        await settled(descriptors(pid), 'descriptors settle');
        const start = { rss: residentKiB(pid), fds: descriptors(pid) };
        let peak = start.rss;
        for (let n = 1; n <= ROUNDS; n++) {
            await round();
            peak = Math.max(peak, residentKiB(pid));
            await settled(start.fds, `round ${n}: descriptors back to ${start.fds}`);
            console.log(
                `# round ${n}: ${residentKiB(pid)} KiB resident, ${descriptors(pid)} descriptors`);
        }
        const end = { rss: residentKiB(pid), fds: descriptors(pid) };
        console.log(
            `# ${SESSIONS} sessions x ${ROUNDS} rounds: resident ${start.rss} -> ${end.rss} KiB ` +
            `(peak ${peak}), descriptors ${start.fds} -> ${end.fds}`);
        assert.ok(end.rss - start.rss <= 3 * 1024,
                  `resident memory grew by ${end.rss - start.rss} KiB`);
        assert.ok(end.fds <= start.fds);
        // Still serving: the page that stayed open takes a click, and a new one loads.
        await courseRows(devices(s)).first().click();
        await session(url);
    }));
