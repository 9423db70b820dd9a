// Shared by the browser tests: starts the test host on a free loopback port and Debian's
// Chromium through playwright-core (which never downloads a browser of its own).
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { chromium } = require('playwright-core');

const CHROMIUM = '/usr/bin/chromium';
const BIN = process.env.VERDAL_BIN || path.resolve(__dirname, '../../build/bin');

function chromiumPresent() {
  return fs.existsSync(CHROMIUM);
}

// Starts page_test_host and answers { url, process, exited } once it printed its address.
function startHost(args = []) {
  const child = spawn(path.join(BIN, 'page_test_host'),
                      ['--listen', '127.0.0.1:0', '--no-browser', ...args],
                      { stdio: ['ignore', 'pipe', 'inherit'] });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  const url = new Promise((resolve, reject) => {
    let text = '';
    child.stdout.on('data', (chunk) => {
      text += chunk;
      const line = text.split('\n')[0];
      if (text.includes('\n')) resolve(line.trim());
    });
    child.on('exit', (code) => reject(new Error(`page_test_host ended with ${code} before its address`)));
  });
  return url.then((address) => ({ url: address, process: child, exited }));
}

async function stopHost(host) {
  if (host.process.exitCode === null && host.process.signalCode === null) host.process.kill('SIGTERM');
  return host.exited;
}

function launch() {
  return chromium.launch({
    executablePath: CHROMIUM,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// The main window's page and the frame of the topmost dialog.
const mainFrame = (page) => page.frameLocator('.verdal-window iframe');
const dialogFrame = (page) => page.frameLocator('.verdal-dialog iframe');

module.exports = { chromiumPresent, startHost, stopHost, launch, mainFrame, dialogFrame };
