// Shared by the browser tests: starts the test host on a free loopback port and Debian's
// Chromium through playwright-core (which never downloads a browser of its own).
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const readline = require('node:readline');
const { chromium } = require('playwright-core');

const CHROMIUM = '/usr/bin/chromium';
const BIN = process.env.VERDAL_BIN || path.resolve(__dirname, '../../build/bin');
const BOUND = 60000;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The tests' one wait: polls check every interval ms until it answers something other than
// undefined or false, and answers that; fails after bound ms, saying what was awaited.
async function eventually(check, what, { bound = BOUND, interval = 20 } = {}) {
    const end = Date.now() + bound;
    for (;;) {
        const value = await check();
        if (value !== undefined && value !== false) return value;
        if (Date.now() > end)
            throw new Error(`${typeof what === 'function' ? what() : what} within ${bound} ms`);
        await sleep(interval);
    }
}

// Starts a program and collects its output lines; waitFor(re) answers the first line matching.
function run(program, args) {
    const child = spawn(path.join(BIN, program), args, { stdio: ['ignore', 'pipe', 'inherit'] });
    const lines = [];
    readline.createInterface({ input: child.stdout }).on('line', (line) => lines.push(line.trim()));
    const exited =
        new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
    const ended = () => child.exitCode !== null || child.signalCode !== null;
    const waitFor = (re) => eventually(() => {
        const found = lines.find((l) => re.test(l));
        if (found === undefined && ended()) throw new Error(`${program} ended before ${re}`);
        return found;
    }, `${program}: a line ${re}`);
    const stop = async () => {
        if (!ended()) child.kill('SIGTERM');
        return exited;
    };
    return { child, lines, waitFor, exited, stop };
}

// Starts page_test_host; its run (see run) carries the address it printed as url.
async function startHost(args = []) {
    const host = run('page_test_host', ['--listen', '127.0.0.1:0', '--no-browser', ...args]);
    host.url = await host.waitFor(/^http/);
    return host;
}

function launch() {
    return chromium.launch({
        executablePath: CHROMIUM,
        args: [
            '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync'
        ],
    });
}

// The Chromium a test file's tests share: launched before them and closed after them. skip says
// why they cannot run, false when they can.
function sharedBrowser() {
    const shared = { skip: !fs.existsSync(CHROMIUM) && `Chromium is not installed at ${CHROMIUM}` };
    const test = require('node:test');
    test.before(async () => {
        if (!shared.skip) shared.browser = await launch();
    });
    test.after(async () => {
        if (shared.browser) await shared.browser.close();
    });
    return shared;
}

// The cells' texts of every row of a list, to be run inside the page: read there in one step, a
// list redrawn meanwhile gives no rows read half before and half after, and no stale handles.
function cellTexts(grid) {
    const texts = (row) => [...row.querySelectorAll('[role=gridcell]')].map((c) => c.textContent);
    return [...grid.querySelectorAll('[role=row]')].map(texts).filter((cells) => cells.length);
}

// The main window's page and the frame of the topmost dialog.
const mainFrame = (page) => page.frameLocator('.verdal-window iframe');
const dialogFrame = (page) => page.frameLocator('.verdal-dialog iframe');

module.exports = {
    BIN,
    BOUND,
    sleep,
    eventually,
    run,
    startHost,
    launch,
    sharedBrowser,
    cellTexts,
    mainFrame,
    dialogFrame
};
