// What the window tests share: an Xvfb display of their own, the x11-probe that looks at it as a
// window manager would, and WebKitWebDriver driving verdal's own window through WebKitGTK's
// automation. verdal runs under a small wrapper that records its pid and exit code, since
// WebKitWebDriver, not the test, is its parent.
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';

import {BIN, BOUND, eventually} from '../browser/harness.js';

// selenium-webdriver comes from the browser tests' lock file, and so from their folder.
const { Builder, By, until } =
    createRequire(new URL('../browser/', import.meta.url))('selenium-webdriver');
export {By, until};

const DRIVER = '/usr/bin/WebKitWebDriver';

// The X server a test file's tests share: started before them, its display given to every
// program they start, and stopped after them. skip says why they cannot run, false when they can.
export function sharedDisplay() {
    const absent = [
        '/usr/bin/Xvfb', DRIVER, path.join(BIN, 'verdal-window'), path.join(BIN, 'x11-probe')
    ].find((program) => !fs.existsSync(program));
    const shared = { skip: absent ? `${absent} is not installed` : false };
    test.before(async () => {
        if (shared.skip) return;
        shared.screen = await startDisplay();
        process.env.DISPLAY = shared.screen.display;
    });
    test.after(async () => {
        if (shared.screen) await shared.screen.stop();
    });
    return shared;
}

// An X server of the test's own, 1920 x 1080; answers { display, stop }.
export async function startDisplay() {
    const xvfb =
        spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1920x1080x24', '-nolisten', 'tcp'],
              { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
    const number = await new Promise((resolve, reject) => {
        let text = '';
        xvfb.stdio[3].on('data', (chunk) => {
            text += chunk;
            if (text.includes('\n')) resolve(text.trim());
        });
        xvfb.on('exit', () => reject(new Error('Xvfb ended before it named its display')));
    });
    const display = `:${number}`;
    const stop = () => new Promise((resolve) => {
        if (xvfb.exitCode !== null) return resolve();
        xvfb.on('exit', resolve);
        xvfb.kill('SIGTERM');
    });
    return { display, stop };
}

// Runs x11-probe on the shared display; answers its output, or null when it failed.
export function probe(...args) {
    try {
        return execFileSync(path.join(BIN, 'x11-probe'), args.map(String),
                            { stdio: ['ignore', 'pipe', 'ignore'] })
            .toString();
    } catch { return null; }
}

// The window titled Verdal2012, as x11-probe describes it; null when none shows within ms.
export function findWindow(ms = BOUND) {
    const line = probe('find', 'Verdal2012', ms);
    return line ? JSON.parse(line) : null;
}

export const comm = (pid) => fs.readFileSync(`/proc/${pid}/comm`, 'utf8').trim();
export const parentOf = (pid) =>
    Number(fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ')[1]);
// True while the process runs (a zombie has ended).
export function alive(pid) {
    try {
        return fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1][0] !== 'Z';
    } catch { return false; }
}

// The pids of the processes that satisfy wanted; one that ends meanwhile is left out.
export function processes(wanted) {
    return fs.readdirSync('/proc').map(Number).filter((pid) => {
        try {
            return pid > 0 && wanted(pid);
        } catch { return false; }
    });
}

function freePort() {
    return new Promise((resolve) => {
        const server = net.createServer().listen(0, '127.0.0.1', () => {
            const { port } = server.address();
            server.close(() => resolve(port));
        });
    });
}

// A session of WebKitWebDriver on the shared display, driving verdal started with args (after
// --automation) in a folder of its own; answers { driver, data, pidOf(), exitCode(), stop() }.
export async function openWindow(args, {home} = {}) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-window-'));
    const data = path.join(dir, 'data');
    const record = path.join(dir, 'verdal');
    const wrapper = path.join(dir, 'verdal-under-driver');
    // WebKitWebDriver starts this in verdal's place, so the test learns verdal's pid and exit code.
    fs.writeFileSync(
        wrapper,
        `#!/bin/sh\n"${path.join(BIN, 'verdal')}" "$@" &\necho $! > "${record}.pid"\n` +
            `wait $!\necho $? > "${record}.exit"\n`,
        { mode: 0o755 });
    const port = await freePort();
    const env =
        home ? {...process.env, HOME: home, XDG_DATA_HOME: '', XDG_CACHE_HOME: '' } : process.env;
    const server = spawn(DRIVER, [`--port=${port}`], { env, stdio: 'ignore' });
    const answers = () => fetch(`http://127.0.0.1:${port}/status`).then((r) => r.ok, () => false);
    await eventually(answers, 'WebKitWebDriver answers');
    const driver =
        await new Builder()
            .usingServer(`http://127.0.0.1:${port}`)
            .withCapabilities({
                browserName: 'verdal',
                'webkitgtk:browserOptions':
                    { binary: wrapper, args: ['--automation', '--data-dir', data, ...args] },
            })
            .build();
    const pidOf = () => Number(fs.readFileSync(`${record}.pid`, 'utf8'));
    const exitCode = () =>
        (fs.existsSync(`${record}.exit`) ? Number(fs.readFileSync(`${record}.exit`, 'utf8'))
                                         : undefined);
    // Once: a session its test stopped is stopped again by inFolder's keep.
    let stopping;
    const stop = () => (stopping ??= stopSession());
    const stopSession = async () => {
        await driver.quit().catch(() => {});
        if (fs.existsSync(`${record}.pid`) && alive(pidOf())) process.kill(pidOf(), 'SIGTERM');
        await eventually(exitCode, 'verdal ends').catch(() => {});
        server.kill('SIGTERM');
        fs.rmSync(dir, { recursive: true, force: true });
    };
    return { driver, data, pidOf, exitCode, stop };
}

// Switches the driver into the main window's page, or (with 'dialog') into the topmost dialog's.
export async function into(driver, view = 'window') {
    await driver.switchTo().defaultContent();
    await driver.switchTo().frame(
        await driver.wait(until.elementLocated(By.css(`.verdal-${view} iframe`)), BOUND));
}

// Waits, in the main page, until the element with the id shows the text.
export async function shows(driver, id, text) {
    await into(driver);
    await driver.wait(until.elementTextIs(await driver.findElement(By.id(id)), text), BOUND,
                      `#${id} shows "${text}"`);
}

// Waits until no dialog is open.
export async function noDialog(driver) {
    await driver.switchTo().defaultContent();
    // Counted inside the page: a dialog that closes while the driver makes handles for a found
    // element list makes WebKitWebDriver answer with a stale element.
    const open = () =>
        driver.executeScript('return document.querySelectorAll(".verdal-dialog").length');
    await driver.wait(async () => (await open()) === 0, BOUND, 'the dialog closes');
}
