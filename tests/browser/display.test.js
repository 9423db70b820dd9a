// What the user sees after a first catalogue update on an empty data folder: every country of
// golf.db offered at once with the regions of the chosen one, and course texts with apostrophes
// shown as written (one quote) in the status line, the lists, the selects and the course
// information, where a keyword typed as shown finds its course.
import assert from 'node:assert/strict';
import test from 'node:test';

import {query, sharedBrowser} from './harness.js';

import {
    open,
    using,
    status,
    rows,
    noDialog,
    update,
    search,
    searchRegion,
    courseInformation
} from './app_session.js';
const { skip, browser } = sharedBrowser();

test(
    'after the first update: every country offered, texts with apostrophes shown as written',
    { skip, timeout: 300000 },
    () => using(open(browser(), { service: ['--courses', '400'] }), async (s) => {
        await status(s, 'DEVICE CONNECTED');
        assert.deepEqual(await s.main.locator('#country option').allTextContents(),
                         ['All Country', 'USA']);

        // Every text the status line shows during the update.
        const seen = await update(s);
        assert.ok(seen.some((t) => t.includes('\'')),
                  'a name with an apostrophe on the status line');
        assert.ok(!seen.some((t) => t.includes('\'\'')),
                  `no doubled quote: ${seen.filter((t) => t.includes('\'\''))}`);

        // Without a restart the country select offers what golf.db holds.
        const stored = query(
            s.data, 'select distinct country from GOLF where country<>\'USA\' order by country;');
        assert.ok(stored.length > 2, stored.join(','));
        assert.deepEqual(await s.main.locator('#country option').allTextContents(),
                         ['All Country', 'USA', ...stored]);
        assert.equal(await s.main.locator('#country').inputValue(), 'USA');

        // A course whose name and region both hold an apostrophe; its country's regions follow the
        // choice of the country.
        const [course] = query(
            s.data,
            'select name, country, city from GOLF where name like \'%\'\'%\' and city like \'%\'\'%\' order by name limit 1;');
        assert.ok(course, 'the catalogue has a course with an apostrophe in its name and region');
        const [name, country, region] = course.split('\t');
        const found = await searchRegion(s, country, region);
        assert.ok(found.every((c) => c[1] === country && c[2] === region), JSON.stringify(found));
        assert.ok(found.some((c) => c[0] === name), `${name} among ${JSON.stringify(found)}`);

        // The name typed as the list shows it finds the course, in every country.
        await s.main.locator('#country').selectOption('all');
        await s.main.locator('#keyword').fill(name);
        const byName = await search(s, (c) => c[0].includes(name),
                                    () => s.main.locator('#keyword').press('Enter'));
        assert.deepEqual(byName[0], [name, country, region]);

        // The course information shows the name as written.
        const info = await courseInformation(s, rows(s).first(), name);
        assert.equal(await info.locator('#titletext').textContent(), name);
        await info.locator('#MsgExit').click();
        await noDialog(s);
    }));
