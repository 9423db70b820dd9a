// How verdal and its own window live and end together, under Xvfb: the window closed in the
// middle of an update, a second start on the same data folder, a stale lock after SIGKILL, the
// window's process dying, and a window that cannot be made.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { By } = require('selenium-webdriver');
const { BIN, run, eventually } = require('../browser/harness');
const {
    sharedDisplay,
    probe,
    findWindow,
    integrity,
    comm,
    parentOf,
    alive,
    processes,
    openWindow,
    shows
} = require('./window_session');

const { skip } = sharedDisplay();

const temporary = () => fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-lifetime-'));
// Waits until the window is gone from the screen (the probe finds none at once).
const gone = () => eventually(() => !findWindow(0), 'the window closes');

test('closing the window in the middle of an update ends verdal as SIGTERM does',
     { skip, timeout: 300000 }, async () => {
         const dir = temporary();
         const link = path.join(dir, 'ttyUSB0');
         const device =
             run('verdal-devsim', ['--link', link, '--trace', '--store', path.join(dir, 'store')]);
         const service =
             run('verdal-catalogue-service',
                 ['--listen', '127.0.0.1:0', '--courses', '40', '--fault', 'stall:map']);
         let s;
         try {
             await device.waitFor(/^READY /);
             const port = (await service.waitFor(/^LISTENING /)).split(' ')[1];
             s = await openWindow(['--port', link, '--server', `http://127.0.0.1:${port}/`]);
             await shows(s.driver, 'message', 'DEVICE CONNECTED');
             await s.driver.findElement(By.id('updategof')).click();
             // The catalogue file is there: the merge waits on its first course map.
             await eventually(() => fs.existsSync(path.join(s.dir, 'data', 'update.xml')),
                              'update.xml');
             probe('close', findWindow().id);
             assert.equal(await eventually(s.exitCode, 'verdal ends'), 0);
             assert.equal(integrity(path.join(s.dir, 'data')), 'ok');
             await device.waitFor(/^SEEN \$EXIT$/);
         } finally {
             if (s) await s.close();
             await device.stop();
             await service.stop();
             fs.rmSync(dir, { recursive: true, force: true });
         }
     });

test('a second start hands over to the running program; a killed one leaves no lock behind',
     { skip, timeout: 300000 }, async () => {
         const data = temporary();
         const first = run('verdal', ['--demo', '--data-dir', data]);
         let cover, again;
         try {
             const address = await first.waitFor(/^http:/);
             const window = findWindow();
             assert.ok(window);
             // Another window over it; the second start brings verdal's forward.
             cover = run('x11-probe', ['cover', 0, 0, 1920, 1080].map(String));
             const coverId = Number(await cover.waitFor(/^\d+$/));
             const stack = () => probe('stack').trim().split('\n').map(Number);
             assert.ok(stack().indexOf(coverId) > stack().indexOf(window.id));
             for (const options of [[], ['--no-browser']]) {
                 const second = run('verdal', ['--demo', '--data-dir', data, ...options]);
                 assert.deepEqual(await second.exited, { code: 0, signal: null });
                 assert.deepEqual(second.lines, [address]);
             }
             await eventually(() => stack().indexOf(window.id) > stack().indexOf(coverId),
                              'the window comes forward');
             // Still one verdal on the folder, and one window.
             assert.ok(alive(first.child.pid));
             const programs =
                 processes((p) => alive(p) && comm(p) === 'verdal' &&
                                  fs.readFileSync(`/proc/${p}/cmdline`, 'utf8').includes(data));
             assert.deepEqual(programs, [first.child.pid]);

             // Killed outright: its window and helpers go with it, and the next start takes the
             // folder.
             first.child.kill('SIGKILL');
             await first.exited;
             await gone();
             again = run('verdal', ['--demo', '--data-dir', data]);
             assert.notEqual(await again.waitFor(/^http:/), address);
             assert.ok(findWindow());
             // Ended by SIGTERM, verdal closes its window.
             again.child.kill('SIGTERM');
             assert.deepEqual(await again.exited, { code: 0, signal: null });
             await gone();
             assert.equal(integrity(data), 'ok');
         } finally {
             for (const p of [first, cover, again])
                 if (p) await p.stop();
             fs.rmSync(data, { recursive: true, force: true });
         }
     });

test('when the window\'s process dies, verdal ends with its helpers', { skip, timeout: 120000 },
     async () => {
         const data = temporary();
         const verdal = run('verdal', ['--demo', '--data-dir', data]);
         try {
             await verdal.waitFor(/^http:/);
             const window = findWindow();
             const helpers = processes((p) => alive(p) && parentOf(p) === verdal.child.pid);
             assert.deepEqual(helpers.map(comm).sort(),
                              ['verdal-catalogu', 'verdal-devsim', 'verdal-window']);
             process.kill(window.pid, 'SIGKILL');
             assert.deepEqual(await verdal.exited, { code: 0, signal: null });
             await eventually(() => !helpers.some(alive), 'the demo\'s helpers end');
         } finally {
             await verdal.stop();
             fs.rmSync(data, { recursive: true, force: true });
         }
     });

test(
    'a window that cannot be made gives the browser, said in one line', { skip, timeout: 120000 },
    async () => {
        const dir = temporary();
        // A browser that only notes how it was started.
        const bin = path.join(dir, 'bin');
        fs.mkdirSync(bin);
        fs.writeFileSync(path.join(bin, 'chromium'), `#!/bin/sh\necho "$@" > "${dir}/browser"\n`,
                         { mode: 0o755 });
        const verdal =
            spawn(path.join(BIN, 'verdal'),
                  ['--data-dir', path.join(dir, 'data'), '--port', path.join(dir, 'none')], {
                      env: {...process.env, DISPLAY: ':4242', PATH: `${bin}:/usr/bin:/bin` },
                      stdio: ['ignore', 'pipe', 'pipe'],
                  });
        let out = '', err = '';
        verdal.stdout.on('data', (chunk) => { out += chunk; });
        verdal.stderr.on('data', (chunk) => { err += chunk; });
        const exited = new Promise(
            (resolve) => verdal.on('exit', (code, signal) => resolve({ code, signal })));
        try {
            const noted = path.join(dir, 'browser');
            const args = await eventually(
                () => fs.existsSync(noted) && fs.readFileSync(noted, 'utf8'), 'the browser starts');
            const address = out.split('\n')[0];
            assert.match(address, /^http:\/\/127\.0\.0\.1:\d+\/\?token=/);
            assert.ok(args.startsWith(`--app=${address} --window-size=1010,600`), args);
            assert.deepEqual(err.trim().split('\n'), [
                'verdal: the window cannot be made (cannot open the display :4242); opening a browser instead'
            ]);
            verdal.kill('SIGTERM');
            assert.deepEqual(await exited, { code: 0, signal: null });
        } finally {
            verdal.kill('SIGKILL');
            fs.rmSync(dir, { recursive: true, force: true });
        }
    });
