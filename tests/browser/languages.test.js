// verdal in each language of its catalogues and in English, in Chromium: the main page, both
// lists' menus and the progress, course information and message dialogs show the session's
// language (the status line, the labels, the options, the dialogs' texts, the page's lang), and
// none of their fixed texts is cut off, overflows its box, leaves the page or lies over another;
// a status with its reason too long for the line is cut at its end and whole in its title. axe
// finds nothing on the German pages either. With VERDAL_SCREENSHOTS=FOLDER each language leaves
// its main page and course information there.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import {dialogFrame, sharedBrowser} from './harness.js';
import {devices, noDialog, open, rows, search, status, using} from './app_session.js';
import {auditPage} from './audit.js';

const { skip, browser } = sharedBrowser();
const SOURCE = process.env.VERDAL_SOURCE || new URL('../..', import.meta.url).pathname;
const LOCALES = process.env.VERDAL_LOCALES;
const SHOTS = process.env.VERDAL_SCREENSHOTS;

// A catalogue's translations (the first form of a plural), from its .po file.
function catalogue(language) {
    const texts = new Map();
    const unquote = (line) => JSON.parse(line.slice(line.indexOf('"')));
    let id = null, str = null, field = null;
    const flush = () => {
        if (id) texts.set(id, str);
        id = str = field = null;
    };
    for (const line of fs.readFileSync(path.join(SOURCE, 'po', `${language}.po`), 'utf8')
             .split('\n')) {
        if (line.startsWith('msgid ')) {
            flush();
            field = 'id';
            id = unquote(line);
        } else if (line.startsWith('msgid_plural ')) {
            field = null;
        } else if (line.startsWith('msgstr ') || line.startsWith('msgstr[0] ')) {
            field = 'str';
            str = unquote(line);
        } else if (line.startsWith('"')) {
            if (field === 'id') id += unquote(line);
            if (field === 'str') str += unquote(line);
        } else if (line.startsWith('msgstr[')) {
            field = null;
        }
    }
    flush();
    return (text) => texts.get(text) || assert.fail(`po/${language}.po has no "${text}"`);
}

// printf's %s, %d, %zu filled in order.
const format = (text, ...values) => text.replace(/%(z|l|ll)?[sdu]/g, () => String(values.shift()));

// Runs in a document (below the element matching within, when given): each fixed text that is
// cut off, overflows its box, leaves the view or lies over another's, as a line; none when all
// fit. Catalogue texts (the lists' rows, a course's details) are free to be cut by their column.
function unfit(root, within) {
    const problems = [];
    const placed = [];
    const name = (e) => (e.id ? `#${e.id}` : e.tagName.toLowerCase()) +
                        ` "${(e.value || e.textContent).trim().slice(0, 40)}"`;
    const visible = (e) => {
        const style = getComputedStyle(e);
        return style.display !== 'none' && style.visibility !== 'hidden' &&
               e.getClientRects().length > 0;
    };
    const measure = document.createElement('canvas').getContext('2d');
    const textWidth = (text, e) => {
        measure.font = getComputedStyle(e).font;
        return measure.measureText(text).width;
    };
    const inside = (inner, outer) => inner.left >= outer.left - 1 &&
                                     inner.right <= outer.right + 1 && inner.top >= outer.top - 1 &&
                                     inner.bottom <= outer.bottom + 1;
    const view = { left: 0, top: 0, right: innerWidth, bottom: innerHeight };
    const free = '[role=gridcell], #titletext, #address, #telephone, #email, #snnumber';
    const scope = within ? root.querySelector(within) : root;
    if (!scope) return [`nothing matches ${within}`];
    for (const e of scope.querySelectorAll('*')) {
        if (!visible(e) || e.closest(free) || ['SCRIPT', 'STYLE', 'OPTION'].includes(e.tagName))
            continue;
        const box = e.getBoundingClientRect();
        if (e.tagName === 'SELECT') {
            const chosen = e.options[e.selectedIndex];
            // The arrow and the padding take about 24 pixels of the select.
            if (chosen && textWidth(chosen.text, e) > e.clientWidth - 24)
                problems.push(`${name(e)}: "${chosen.text}" is cut off in its select`);
        }
        // A text box holds what the user typed; an input button's text is its value.
        const button = e.tagName === 'INPUT' && ['button', 'submit', 'reset'].includes(e.type);
        if ((button || e.tagName === 'BUTTON') && e.scrollWidth > e.clientWidth + 1)
            problems.push(`${name(e)}: cut off (${e.scrollWidth} > ${e.clientWidth})`);
        const own = [...e.childNodes].filter((n) => n.nodeType === 3 && n.data.trim());
        if (!own.length && !button) continue;
        const range = document.createRange();
        range.selectNodeContents(e);
        const text = button ? box : range.getBoundingClientRect();
        if (e.id === 'message') {
            // The status line: a long text is cut at its end and shown whole in the title.
            if (getComputedStyle(e).textOverflow !== 'ellipsis' || e.title !== e.textContent)
                problems.push(`${name(e)}: a long text would not be cut at its end with its title`);
            placed.push({ e, rect: box });
            continue;
        }
        if (e.clientWidth > 0 && e.scrollWidth > e.clientWidth + 1)
            problems.push(`${name(e)}: overflows its box (${e.scrollWidth} > ${e.clientWidth})`);
        if (!inside(text, box)) problems.push(`${name(e)}: spills out of its box`);
        if (!inside(box, view)) problems.push(`${name(e)}: leaves the view`);
        placed.push({ e, rect: text });
    }
    for (let i = 0; i < placed.length; i++)
        for (let j = i + 1; j < placed.length; j++) {
            const [a, b] = [placed[i], placed[j]];
            if (a.e.contains(b.e) || b.e.contains(a.e)) continue;
            const w = Math.min(a.rect.right, b.rect.right) - Math.max(a.rect.left, b.rect.left);
            const h = Math.min(a.rect.bottom, b.rect.bottom) - Math.max(a.rect.top, b.rect.top);
            if (w > 1 && h > 1) problems.push(`${name(a.e)} lies over ${name(b.e)}`);
        }
    const page = document.documentElement;
    if (!within && (page.scrollWidth > innerWidth + 1 || page.scrollHeight > innerHeight + 1))
        problems.push(`the page is ${page.scrollWidth} x ${page.scrollHeight}`);
    return problems;
}

const fits = async (frame, what, within) =>
    assert.deepEqual(await frame.locator('html').evaluate(unfit, within), [], what);

const LANGUAGES = [
    ['en_US.UTF-8', 'en'], ['de_DE.UTF-8', 'de'], ['es_ES.UTF-8', 'es'], ['fr_FR.UTF-8', 'fr'],
    ['ja_JP.UTF-8', 'ja'], ['ko_KR.UTF-8', 'ko']
];

for (const [locale, language] of LANGUAGES) {
    test(
        `${language}: the pages, menus and dialogs speak it and every text fits`, {
            skip: skip || (!LOCALES && 'VERDAL_LOCALES names no folder of locales'),
            timeout: 120000
        },
        () => {
            const tr = language === 'en' ? (text) => text : catalogue(language);
            const env = {...process.env, LOCPATH: LOCALES, LC_ALL: locale };
            delete env.LANGUAGE;
            // The maps come late, so that the progress dialog stays a moment, and the last is
            // short by a byte, so that the update ends with a long reason.
            const service = ['--fault', 'delay:map', '--fault', 'short:40'];
            return using(open(browser(), { env, service }), async (s) => {
                const exactly = (text) =>
                    new RegExp(`^${text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}$`);
                const line = (text) =>
                    s.main.locator('#message', { hasText: exactly(text) }).waitFor();
                await line(tr('DEVICE CONNECTED'));
                assert.equal(await s.main.locator('html').getAttribute('lang'), language);
                assert.equal(await s.main.locator('#updategof').textContent(), tr('Course Update'));
                await fits(s.main, 'the main page, connected');

                const menu = async (row, popup, entries) => {
                    await row.click({ button: 'right' });
                    const shown = s.page.getByRole('menu', { name: tr(popup) });
                    await shown.waitFor();
                    assert.deepEqual(await shown.getByRole('menuitem').allTextContents(),
                                     entries.map(tr));
                    await fits(s.page, `menu ${popup}`, '[role=menu]');
                    return shown;
                };
                await devices(s).getByRole('row').nth(1).click();
                await menu(devices(s).getByRole('row').nth(1), 'Device',
                           ['Remove Course', 'Remove All Course']);
                await s.page.keyboard.press('Escape');

                await s.main.locator('#updategof').click();
                const progress = dialogFrame(s.page);
                await progress.locator('#MsgText', { hasText: tr('Update GOF File...') }).waitFor();
                await fits(progress, 'the progress dialog');
                const reason = format(tr('the course map of "%s" holds %d bytes, not %zu'),
                                      'Willow Woods Golf Links 40', 7263, 7264);
                await line(format(tr('UPDATE GOF FILE ERROR - %s'), reason));
                await noDialog(s);
                await fits(s.main, 'the main page, after the update failed with its reason');

                await search(s);
                await fits(s.main, 'the main page with its lists');
                const first = rows(s).first();
                await first.click();
                const popup = await menu(first, 'GOLF', ['Add to Device', 'Course Information']);
                await popup.getByRole('menuitem', { name: tr('Course Information') }).click();
                const info = dialogFrame(s.page);
                await info.locator('#MsgExit').waitFor();
                assert.equal(await info.locator('#MsgExit').getAttribute('value'), tr('Exit'));
                await fits(info, 'the course information dialog');
                if (SHOTS) {
                    fs.mkdirSync(SHOTS, { recursive: true });
                    await s.page.screenshot({ path: path.join(SHOTS, `${language}-course.png`) });
                }
                if (language === 'de')
                    assert.deepEqual(await auditPage(s.page), [], 'the course information');
                await info.locator('#MsgExit').click();
                await noDialog(s);

                await s.main.locator('#country').selectOption('all');
                await s.main.locator('#regions', { hasText: exactly(tr('REGIONS:')) }).waitFor();
                await fits(s.main, 'the main page, every country');
                if (SHOTS)
                    await s.page.screenshot({ path: path.join(SHOTS, `${language}-main.png`) });
                if (language === 'de')
                    assert.deepEqual(await auditPage(s.page), [], 'the main page');

                await s.main.locator('#keyword').fill('no course is named so');
                await s.main.locator('#search').click();
                const message = dialogFrame(s.page);
                await message
                    .locator('#MsgText1',
                             { hasText: exactly(tr('Unable to find your course,please try')) })
                    .waitFor();
                assert.equal(await message.locator('#MsgText2').textContent(), tr('again'));
                assert.equal(await message.locator('#MsgBtn').textContent(), tr('OK'));
                await fits(message, 'the message dialog');
                if (language === 'de')
                    assert.deepEqual(await auditPage(s.page), [], 'the message dialog');
                await message.locator('#MsgBtn').click();
                await noDialog(s);

                await s.main.locator('#disconnect').click();
                await line(tr('DEVICE NOT CONNECTED'));
                await fits(s.main, 'the main page, disconnected');
            });
        });
}
