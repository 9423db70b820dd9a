// Shared by the browser tests: starts the test host on a free loopback port and Debian's
// Chromium through playwright-core (which never downloads a browser of its own).
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import test from 'node:test';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const CHROMIUM = '/usr/bin/chromium';
export const BIN =
    process.env.VERDAL_BIN || fileURLToPath(new URL('../../build/bin', import.meta.url));
export const BOUND = 60000;

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The tests' one wait: polls check every interval ms until it answers something other than
// undefined or false, and answers that; fails after bound ms, saying what was awaited.
export async function eventually(check, what, {bound = BOUND, interval = 20} = {}) {
    const end = Date.now() + bound;
    for (;;) {
        const value = await check();
        if (value !== undefined && value !== false) return value;
        if (Date.now() > end)
            throw new Error(`${typeof what === 'function' ? what() : what} within ${bound} ms`);
        await sleep(interval);
    }
}

// Starts a program (in the environment given, else the tests') and collects its output lines,
// and apart the lines it writes to stderr, which are shown too; waitFor(re) answers the first
// output line matching.
export function run(program, args, env = process.env) {
    const child = spawn(path.join(BIN, program), args, { env, stdio: ['ignore', 'pipe', 'pipe'] });
    const lines = [], errors = [];
    readline.createInterface({ input: child.stdout }).on('line', (line) => lines.push(line.trim()));
    readline.createInterface({ input: child.stderr }).on('line', (line) => {
        errors.push(line);
        process.stderr.write(`${line}\n`);
    });
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
    return { child, lines, errors, waitFor, exited, stop };
}

// Runs body in a folder of its own with keep, which takes anything with a stop (a program, see
// run) and answers it; once body ends, however it ends, what was kept is stopped, last first, and
// the folder removed.
export async function inFolder(body) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-'));
    const kept = [];
    try {
        await body(dir, (p) => (kept.push(p), p));
    } finally {
        for (const p of kept.reverse()) await p.stop();
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

// The lines sqlite3 prints for the query on the golf.db in the data folder, fields split by tabs.
export function query(data, sql) {
    return execFileSync('sqlite3', ['-separator', '\t', path.join(data, 'golf.db'), sql])
        .toString()
        .split('\n')
        .filter((l) => l !== '');
}

// What sqlite3 says of the soundness of the golf.db in the data folder: "ok" when it is sound.
export const integrity = (data) => query(data, 'pragma integrity_check;').join('\n');

// Starts page_test_host; its run (see run) carries the address it printed as url.
export async function startHost(args = []) {
    const host = run('page_test_host', ['--listen', '127.0.0.1:0', '--no-browser', ...args]);
    host.url = await host.waitFor(/^http/);
    return host;
}

export function launch() {
    return chromium.launch({
        executablePath: CHROMIUM,
        args: [
            '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync'
        ],
    });
}

// The Chromium a test file's tests share: launched before them and closed after them. Answers
// skip, why they cannot run (false when they can), and browser(), which answers the Chromium.
export function sharedBrowser() {
    const skip = !fs.existsSync(CHROMIUM) && `Chromium is not installed at ${CHROMIUM}`;
    let browser;
    test.before(async () => {
        if (!skip) browser = await launch();
    });
    test.after(async () => {
        if (browser) await browser.close();
    });
    return { skip, browser: () => browser };
}

// The cells' texts of every row of a list, to be run inside the page: read there in one step, a
// list redrawn meanwhile gives no rows read half before and half after, and no stale handles.
export function cellTexts(grid) {
    const texts = (row) => [...row.querySelectorAll('[role=gridcell]')].map((c) => c.textContent);
    return [...grid.querySelectorAll('[role=row]')].map(texts).filter((cells) => cells.length);
}

// The main window's page and the frame of the topmost dialog.
export const mainFrame = (page) => page.frameLocator('.verdal-window iframe');
export const dialogFrame = (page) => page.frameLocator('.verdal-dialog iframe');
