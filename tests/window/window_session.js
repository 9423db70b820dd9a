// What the window tests share: an Xvfb display of their own, the x11-probe that looks at it as a
// window manager would, a headless Weston compositor of their own for the Wayland run, and
// WebKitWebDriver driving verdal's own window through WebKitGTK's automation. verdal runs under a
// small wrapper that records its pid, exit code and output, since WebKitWebDriver, not the test,
// is its parent.
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';

import {BIN, BOUND, cellTexts, eventually} from '../browser/harness.js';

// selenium-webdriver comes from the browser tests' lock file, and so from their folder.
const { Builder, By, until } =
    createRequire(new URL('../browser/', import.meta.url))('selenium-webdriver');
export {By, until};

const DRIVER = '/usr/bin/WebKitWebDriver';
const WESTON = '/usr/bin/weston';

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

// The Wayland compositor a test file's tests share, as sharedDisplay's X server: every program
// they start gets its socket, no X display, and GTK held to Wayland.
export function sharedWayland() {
    const absent = [WESTON, DRIVER, path.join(BIN, 'verdal-window')].find(
        (program) => !fs.existsSync(program));
    const shared = { skip: absent ? `${absent} is not installed` : false };
    test.before(async () => {
        if (shared.skip) return;
        shared.compositor = await startWayland();
        delete process.env.DISPLAY;
        Object.assign(process.env, shared.compositor.env);
    });
    test.after(async () => {
        if (shared.compositor) await shared.compositor.stop();
    });
    return shared;
}

// A headless Weston of the test's own, 1920 x 1080, drawing with pixman, in a runtime folder of
// its own (0700, as XDG_RUNTIME_DIR must be); answers { env, stop }, env being what its clients
// need.
export async function startWayland() {
    const runtime = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-wayland-'));
    fs.chmodSync(runtime, 0o700);
    const socket = 'verdal-wayland';
    // No weston.ini of the machine's, and no idle timeout that would lock the screen.
    const weston = spawn(WESTON,
                         [
                             '--backend=headless-backend.so', `--socket=${socket}`, '--use-pixman',
                             '--no-config', '--idle-time=0', '--width=1920', '--height=1080'
                         ],
                         { env: {...process.env, XDG_RUNTIME_DIR: runtime }, stdio: 'ignore' });
    const stop = () => new Promise((resolve) => {
                           if (weston.exitCode !== null || weston.signalCode !== null)
                               return resolve();
                           weston.on('exit', resolve);
                           weston.kill('SIGTERM');
                       }).then(() => fs.rmSync(runtime, { recursive: true, force: true }));
    // Clients may connect once the socket is there; Weston answers them when its loop runs.
    await eventually(() => {
        if (weston.exitCode !== null) throw new Error('weston ended before it made its socket');
        return fs.existsSync(path.join(runtime, socket));
    }, 'the Wayland socket').catch(async (e) => {
        await stop();
        throw e;
    });
    return {
        env: { WAYLAND_DISPLAY: socket, XDG_RUNTIME_DIR: runtime, GDK_BACKEND: 'wayland' },
        stop
    };
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

// A session of WebKitWebDriver on the shared display (X or Wayland), driving verdal started with
// args (after --automation) in a folder of its own; answers { driver, data, pidOf(), exitCode(),
// output(), stop() }, output() being verdal's standard output and error so far.
export async function openWindow(args, {home} = {}) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-window-'));
    const data = path.join(dir, 'data');
    const record = path.join(dir, 'verdal');
    const wrapper = path.join(dir, 'verdal-under-driver');
    // WebKitWebDriver starts this in verdal's place, so the test learns verdal's pid, exit code
    // and output. The record is kept by a subshell: WebKitWebDriver kills the wrapper when it ends
    // a session whose window is still there, and verdal may end after that.
    const script = [
        '#!/bin/sh', '(',
        `"${path.join(BIN, 'verdal')}" "$@" > "${record}.out" 2> "${record}.err" &`,
        `echo $! > "${record}.pid"`, 'wait $!', `echo $? > "${record}.exit"`, ') &', 'wait $!', ''
    ];
    fs.writeFileSync(wrapper, script.join('\n'), { mode: 0o755 });
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
    const read = (file) => (fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '');
    const output = () => ({ out: read(`${record}.out`), err: read(`${record}.err`) });
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
    return { driver, data, pidOf, exitCode, output, stop };
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

// The rows of a list (0: the device's, 1: the catalogue's) as their cells' texts.
export async function rows(driver, list) {
    await into(driver);
    return driver.executeScript(
        `return (${cellTexts})(document.querySelectorAll('[role=grid]')[arguments[0]]);`, list);
}

// Clicks Search and answers the catalogue's rows once there are some and all are wanted.
export async function search(driver, wanted) {
    await into(driver);
    await driver.findElement(By.id('search')).click();
    return eventually(async () => {
        await noDialog(driver);
        const found = await rows(driver, 1);
        return found.length > 0 && found.every(wanted) ? found : undefined;
    }, 'search results');
}
