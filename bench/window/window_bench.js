// Prints, for verdal --demo in its own window and with --browser (Chromium in app mode), side by
// side under one Xvfb display: the time from the start to the main page drawn (its orange filter
// band on screen) and the memory of every process of the window (verdal, the window program or
// Chromium, and their children; the demo's helpers left out) once the device is connected.
// Each mode is started once to warm up, then RUNS times, alternating.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import {BIN, sleep} from '../../tests/browser/harness.js';
import {alive, comm, parentOf, startDisplay} from '../../tests/window/window_session.js';

const RUNS = Number(process.env.RUNS || 5);
const SETTLE_MS = 8000; // the device connected and the page idle
const ORANGE = 'f78f1e';
const HELPERS = new Set(['verdal-devsim', 'verdal-catalogu']);

// Every process below root, the root itself included.
function tree(root) {
    const all = fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p)).map(Number);
    const inside = new Set([root]);
    for (let grown = true; grown;) {
        grown = false;
        for (const pid of all) {
            try {
                if (!inside.has(pid) && inside.has(parentOf(pid)) && alive(pid)) {
                    inside.add(pid);
                    grown = true;
                }
            } catch { /* gone */
            }
        }
    }
    return [...inside];
}

// Resident and proportional set sizes in KiB.
function memory(pid) {
    const rollup = fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8');
    const field = (name) => Number(rollup.match(new RegExp(`^${name}:\\s+(\\d+)`, 'm'))[1]);
    return { rss: field('Rss'), pss: field('Pss') };
}

async function once(mode, data, display) {
    const args = ['--demo', '--data-dir', data, ...(mode === 'browser' ? ['--browser'] : [])];
    const env = {...process.env, DISPLAY: display };
    const start = Date.now();
    const verdal = spawn(path.join(BIN, 'verdal'), args, { env, stdio: 'ignore' });
    const drawnMs = await new Promise((resolve, reject) => {
        const probe = spawn(path.join(BIN, 'x11-probe'),
                            ['wait-colour', 'Verdal2012', ORANGE, '60000'], { env });
        probe.on('exit',
                 (code) => (code === 0 ? resolve(Date.now() - start)
                                       : reject(new Error(`${mode}: the page was never drawn`))));
    });
    await sleep(SETTLE_MS);
    const processes = tree(verdal.pid).filter((pid) => {
        try {
            return !HELPERS.has(comm(pid));
        } catch { return false; }
    });
    let rss = 0, pss = 0;
    for (const pid of processes) {
        try {
            const m = memory(pid);
            rss += m.rss;
            pss += m.pss;
        } catch { /* gone */
        }
    }
    // Chromium was let go by verdal and outlives it: its processes are ended here.
    verdal.kill('SIGTERM');
    await new Promise((resolve) => verdal.on('exit', resolve));
    for (const pid of processes) try {
            process.kill(pid, 'SIGKILL');
        } catch { /* gone */
        }
    await sleep(500);
    return { drawnMs, rssMiB: rss / 1024, pssMiB: pss / 1024, count: processes.length };
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function main() {
    if (!fs.existsSync('/usr/bin/chromium'))
        throw new Error('Chromium is not installed at /usr/bin/chromium');
    const screen = await startDisplay();
    const folders = {
        window: fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-bench-window-')),
        browser: fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-bench-browser-'))
    };
    const results = { window: [], browser: [] };
    try {
        for (const mode of ['window', 'browser']) await once(mode, folders[mode], screen.display);
        for (let run = 0; run < RUNS; run++) {
            for (const mode of ['window', 'browser']) {
                const r = await once(mode, folders[mode], screen.display);
                results[mode].push(r);
                console.log(`${mode.padEnd(7)} run ${run + 1}: drawn after ${r.drawnMs} ms, ` +
                            `${r.count} processes, RSS ${r.rssMiB.toFixed(0)} MiB, PSS ${
                                r.pssMiB.toFixed(0)} MiB`);
            }
        }
    } finally {
        await screen.stop();
        for (const folder of Object.values(folders))
            fs.rmSync(folder, { recursive: true, force: true });
    }
    const summary = (mode, key) => median(results[mode].map((r) => r[key]));
    console.log(`\nmedians over ${RUNS} runs   own window   Chromium app   ratio`);
    for (const [key, label, unit] of [['drawnMs', 'start to page drawn', 'ms'],
                                      ['rssMiB', 'resident memory (RSS)', 'MiB'],
                                      ['pssMiB', 'proportional memory (PSS)', 'MiB']]) {
        const own = summary('window', key), chromium = summary('browser', key);
        console.log(`${label.padEnd(26)} ${own.toFixed(0).padStart(7)} ${unit.padEnd(4)} ${
            chromium.toFixed(0).padStart(7)} ${unit.padEnd(4)}  ${(own / chromium).toFixed(2)}x`);
    }
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
