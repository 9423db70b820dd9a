// verdal --demo in its own window under a headless Weston, with no X display: GTK and WebKitGTK
// on Wayland, driven through WebKitWebDriver to an update and a search, and closing the window.
// What only X shows (place, class, icon) is looked at in road.test.js.
import assert from 'node:assert/strict';
import test from 'node:test';

import {eventually, inFolder, integrity} from '../browser/harness.js';

import {By, into, noDialog, openWindow, search, sharedWayland, shows} from './window_session.js';

const { skip } = sharedWayland();

test('verdal --demo in its own window under Wayland: the main page works, closing it ends verdal',
     { skip, timeout: 200000 },
     () => inFolder(async (home, keep) => {
         const s = keep(await openWindow(['--demo'], { home }));
         const { driver } = s;
         // The window was made: verdal said its address alone, and no browser in its place.
         const { out, err } = s.output();
         assert.match(out, /^http:\/\/127\.0\.0\.1:\d+\/\?token=\w+\n$/);
         assert.doesNotMatch(err, /^verdal:/m);

         await shows(driver, 'message', 'DEVICE CONNECTED');
         // The catalogue, then a search in it.
         await driver.findElement(By.id('updategof')).click();
         await shows(driver, 'message', 'UPDATE GOF FILE COMPLETED');
         await noDialog(driver);
         await into(driver);
         await driver.findElement(By.css('#country option[value="USA"]')).click();
         await search(driver, (cells) => cells[1] === 'USA');

         // Closing the window's page, as window.close() does, closes the window.
         await driver.close();
         assert.equal(await eventually(s.exitCode, 'verdal ends'), 0);
         assert.equal(integrity(s.data), 'ok');
     }));
