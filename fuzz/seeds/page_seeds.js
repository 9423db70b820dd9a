// Records what a real browser sends verdal, as seeds of the page-events and http-requests fuzz
// targets: the WebSocket messages of a session in headless Chromium (connecting, the update, a
// search, a row's menu and the course information dialog, typing, a key) and its HTTP requests,
// with this session's port and token put in the fuzz targets' own (4242 and theirs).
//
//   node page_seeds.js BIN CORPUS
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import {dialogFrame, launch, mainFrame, run} from '../../tests/browser/harness.js';

const [BIN, CORPUS] = process.argv.slice(2);
process.env.VERDAL_BIN = BIN;
const FUZZ_TOKEN = '0123456789abcdef0123456789abcdef';

function write(target, name, data) {
    fs.mkdirSync(path.join(CORPUS, target), { recursive: true });
    fs.writeFileSync(path.join(CORPUS, target, name), data);
}

async function main() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-seeds-'));
    const device =
        run('verdal-devsim', ['--link', path.join(dir, 'ttyUSB0'), '--course', 'Heron Lakes Golf']);
    await device.waitFor(/^READY /);
    const service = run('verdal-catalogue-service', ['--listen', '127.0.0.1:0', '--courses', '20']);
    const port = (await service.waitFor(/^LISTENING /)).split(' ')[1];
    const verdal = run('verdal', [
        '--no-browser', '--data-dir', path.join(dir, 'data'), '--port', path.join(dir, 'ttyUSB0'),
        '--server', `http://127.0.0.1:${port}/`
    ]);
    const url = await verdal.waitFor(/^http:/);
    const { port: ownPort, token } = url.match(/:(?<port>\d+)\/\?token=(?<token>\w+)/).groups;
    const browser = await launch();
    const sent = [];
    const requests = [];
    try {
        const page = await browser.newPage({ viewport: { width: 1010, height: 600 } });
        page.on('websocket', (ws) => ws.on('framesent', (frame) => sent.push(frame.payload)));
        page.on('request', async (request) => requests.push(
                               { url: request.url(), headers: await request.allHeaders() }));
        await page.goto(url);
        const main = mainFrame(page);
        await main.locator('#message', { hasText: 'DEVICE CONNECTED' }).waitFor();
        await main.locator('#updategof').click();
        await main.locator('#message', { hasText: 'UPDATE GOF FILE COMPLETED' }).waitFor();
        await page.locator('.verdal-dialog').waitFor({ state: 'detached' });
        await main.locator('#country').selectOption({ index: 1 });
        await main.locator('#search').click();
        const row =
            main.getByRole('grid').nth(1).locator('[role=row]:has([role=gridcell])').first();
        await row.waitFor();
        await row.click();
        await row.click({ button: 'right' });
        await page.getByRole('menuitem', { name: 'Course Information' }).click();
        await dialogFrame(page).locator('#MsgExit').click();
        await page.locator('.verdal-dialog').waitFor({ state: 'detached' });
        await main.getByRole('grid')
            .first()
            .locator('[role=row]:has([role=gridcell])')
            .first()
            .click({ button: 'right' });
        await page.keyboard.press('Escape');
        await main.locator('#keyword').fill('Bishop\'s');
        await main.locator('#keyword').press('Enter');
        await page.locator('.verdal-dialog').waitFor({ state: 'detached' });
        await row.press('ArrowDown');
    } finally {
        await browser.close();
        await verdal.stop();
        await service.stop();
        await device.stop();
        fs.rmSync(dir, { recursive: true, force: true });
    }
    const seen = new Set();
    sent.forEach((message, index) => {
        const kind = (message.match(/"t":"(\w+)"/) || [, 'other'])[1];
        const key = `${kind}:${message.replace(/\d+/g, '0')}`;
        if (seen.has(key)) return;
        seen.add(key);
        write('page-events', `${String(index).padStart(3, '0')}-${kind}`, message);
    });
    const own = (text) => text.split(token).join(FUZZ_TOKEN).split(ownPort).join('4242');
    requests.forEach((request, index) => {
        const target = own(request.url.replace(/^http:\/\/[^/]+/, '').replace(/^ws:\/\/[^/]+/, ''));
        const upgrade = request.url.startsWith('ws:') ? 1 : 0;
        const origin = request.headers.origin;
        const lines = [
            target, own(request.headers.host || `127.0.0.1:${ownPort}`), own(origin || ''),
            own(request.headers.cookie || '')
        ];
        write('http-requests',
              `${String(index).padStart(3, '0')}-${path.basename(target.split('?')[0]) || 'shell'}`,
              Buffer.concat(
                  [Buffer.from([upgrade | (origin ? 2 : 0)]), Buffer.from(lines.join('\n'))]));
    });
    // The WebSocket's upgrade, which the browser makes with the page's cookie and origin.
    const last = requests[requests.length - 1];
    write('http-requests', 'upgrade', Buffer.concat([
        Buffer.from([3]), Buffer.from([
            '/ws', '127.0.0.1:4242', 'http://127.0.0.1:4242', own(last.headers.cookie || '')
        ].join('\n'))
    ]));
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
