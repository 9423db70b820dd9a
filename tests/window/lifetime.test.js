// How verdal and its own window live and end together, under Xvfb: the window closed in the
// middle of an update, an update killed with verdal and taken up by the next start, a second
// start on the same data folder, a stale lock after SIGKILL, the window's process dying, and a
// window that cannot be made.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import {services} from '../browser/app_session.js';
import {BIN, eventually, inFolder, integrity, query, run} from '../browser/harness.js';

import {
    alive,
    By,
    comm,
    findWindow,
    openWindow,
    parentOf,
    probe,
    processes,
    sharedDisplay,
    shows
} from './window_session.js';

const { skip } = sharedDisplay();

// Waits until the window is gone from the screen (the probe finds none at once).
const gone = () => eventually(() => !findWindow(0), 'the window closes');

test('closing the window in the middle of an update ends verdal as SIGTERM does',
     { skip, timeout: 300000 },
     () => inFolder(async (dir, keep) => {
         const { link, spy, server, children } =
             await services(dir, { service: ['--fault', 'stall:map'] });
         children.forEach(keep);
         const s = keep(await openWindow(['--port', link, '--server', server]));
         await shows(s.driver, 'message', 'DEVICE CONNECTED');
         await s.driver.findElement(By.id('updategof')).click();
         // The catalogue file is there: the merge waits on its first course map.
         await eventually(() => fs.existsSync(path.join(s.data, 'update.xml')), 'update.xml');
         probe('close', findWindow().id);
         assert.equal(await eventually(s.exitCode, 'verdal ends'), 0);
         assert.equal(integrity(s.data), 'ok');
         await spy.waitFor(/^SEEN \$EXIT$/);
     }));

// The course maps the catalogue service at base has sent.
const mapsServed = async (base) =>
    Number((await (await fetch(`${base}_stats`)).text()).match(/^map (\d+)$/m)[1]);

const dump = (data) => execFileSync('sqlite3', [path.join(data, 'golf.db'), '.dump'], {
                           maxBuffer: 1 << 30
                       }).toString();

test('an update killed with verdal goes on where it stopped when verdal starts again',
     { skip, timeout: 300000 },
     () => inFolder(async (dir, keep) => {
         // Course 1000's map stalls: the first update holds there with 999 courses stored.
         const stalled =
             await services(dir, { service: ['--courses', '2000', '--fault', 'stall:map:1000'] });
         const [, port] = stalled.server.match(/:(\d+)\/$/);
         stalled.children.forEach(keep);
         const data = path.join(dir, 'data');
         const first = keep(await openWindow(
             ['--port', stalled.link, '--server', stalled.server, '--data-dir', data]));
         await shows(first.driver, 'message', 'DEVICE CONNECTED');
         await first.driver.findElement(By.id('updategof')).click();
         // Once the stored courses stay as many for a while, the update waits on the stall.
         const rows = () => Number(query(data, 'select count(*) from GOLF;')[0]);
         let before = -1;
         await eventually(() => {
             const now = rows(), holds = now > 0 && now === before;
             before = now;
             return holds;
         }, 'the update holds at course 1000', { interval: 500 });
         process.kill(first.pidOf(), 'SIGKILL');
         await eventually(() => first.exitCode() !== undefined, 'verdal ends');
         await first.stop();
         const stored = rows();
         assert.ok(stored > 0 && stored < 2000, String(stored));

         // The same service without the fault, on the same address.
         await stalled.children.at(-1).stop();
         const service = keep(run('verdal-catalogue-service',
                                  ['--listen', `127.0.0.1:${port}`, '--courses', '2000']));
         await service.waitFor(/^LISTENING /);
         const second = keep(await openWindow(
             ['--port', stalled.link, '--server', stalled.server, '--data-dir', data]));
         await shows(second.driver, 'message', 'DEVICE CONNECTED');
         await second.driver.findElement(By.id('updategof')).click();
         await shows(second.driver, 'message', 'UPDATE GOF FILE COMPLETED');
         assert.equal(await mapsServed(stalled.server), 2000 - stored);
         await second.stop();

         // golf.db is what a clean update writes.
         const clean = path.join(dir, 'clean');
         execFileSync(path.join(BIN, 'verdal-cli'),
                      ['--data-dir', clean, '--server', stalled.server, 'update']);
         assert.ok(dump(data) === dump(clean), 'golf.db as a clean update writes it');
         assert.ok(!fs.existsSync(path.join(data, 'update.journal')));
     }));

test('a second start hands over to the running program; a killed one leaves no lock behind',
     { skip, timeout: 300000 },
     () => inFolder(async (data, keep) => {
         const first = keep(run('verdal', ['--demo', '--data-dir', data]));
         const address = await first.waitFor(/^http:/);
         const window = findWindow();
         assert.ok(window);
         // Another window over it; the second start brings verdal's forward.
         const cover = keep(run('x11-probe', ['cover', 0, 0, 1920, 1080].map(String)));
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
         const again = keep(run('verdal', ['--demo', '--data-dir', data]));
         assert.notEqual(await again.waitFor(/^http:/), address);
         assert.ok(findWindow());
         // Ended by SIGTERM, verdal closes its window.
         assert.deepEqual(await again.stop(), { code: 0, signal: null });
         await gone();
         assert.equal(integrity(data), 'ok');
     }));

test('when the window\'s process dies, verdal ends with its helpers', { skip, timeout: 120000 },
     () => inFolder(async (data, keep) => {
         const verdal = keep(run('verdal', ['--demo', '--data-dir', data]));
         await verdal.waitFor(/^http:/);
         const window = findWindow();
         const helpers = processes((p) => alive(p) && parentOf(p) === verdal.child.pid);
         assert.deepEqual(helpers.map(comm).sort(),
                          ['verdal-catalogu', 'verdal-devsim', 'verdal-window']);
         process.kill(window.pid, 'SIGKILL');
         assert.deepEqual(await verdal.exited, { code: 0, signal: null });
         await eventually(() => !helpers.some(alive), 'the demo\'s helpers end');
     }));

test(
    'a window that cannot be made gives the browser, said in one line', { skip, timeout: 120000 },
    () => inFolder(async (dir, keep) => {
        // A browser that only notes how it was started.
        const bin = path.join(dir, 'bin');
        fs.mkdirSync(bin);
        fs.writeFileSync(path.join(bin, 'chromium'), `#!/bin/sh\necho "$@" > "${dir}/browser"\n`,
                         { mode: 0o755 });
        const verdal = keep(
            run('verdal', ['--data-dir', path.join(dir, 'data'), '--port', path.join(dir, 'none')],
                {...process.env, DISPLAY: ':4242', PATH: `${bin}:/usr/bin:/bin` }));
        const noted = path.join(dir, 'browser');
        const args = await eventually(() => fs.existsSync(noted) && fs.readFileSync(noted, 'utf8'),
                                      'the browser starts');
        const address = verdal.lines[0];
        assert.match(address, /^http:\/\/127\.0\.0\.1:\d+\/\?token=/);
        // Not the address, which every user could read among its arguments: a launcher of this
        // user's alone that goes there, gone with verdal.
        const launcher = args.match(/^--app=file:\/\/(\S+) --window-size=1010,600/);
        assert.ok(launcher, args);
        assert.ok(fs.readFileSync(launcher[1], 'utf8').includes(`url=${address}"`));
        assert.equal(fs.statSync(launcher[1]).mode & 0o777, 0o600);
        assert.deepEqual(verdal.errors, [
            'verdal: the window cannot be made (cannot open the display :4242); opening a browser instead'
        ]);
        assert.deepEqual(await verdal.stop(), { code: 0, signal: null });
        assert.ok(!fs.existsSync(launcher[1]));
    }));
