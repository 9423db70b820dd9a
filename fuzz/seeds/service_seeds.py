#!/usr/bin/env python3
"""Records what verdal-catalogue-service serves and what verdal keeps, as seeds of the fuzz
targets that read them.

  service_seeds.py BIN CORPUS

catalogue: the catalogue file of versions 25 and 26 of ten courses (one with markup in its
texts), after the version already merged (four bytes, little-endian); version-reply: the version
request's answers, healthy and damaged; course-name: the heads of the course maps; gof-codec: the
gof column of golf.db after an update; settings: settings.reg as verdal and verdal-cli leave it.
"""
import os
import shutil
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

BIN, CORPUS = sys.argv[1], sys.argv[2]


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def service(*options):
    process = subprocess.Popen([os.path.join(BIN, 'verdal-catalogue-service'), '--listen',
                                '127.0.0.1:0', '--courses', '10', '--versions', '25,26', *options],
                               stdout=subprocess.PIPE)
    port = int(process.stdout.readline().split()[1])
    return process, f'http://127.0.0.1:{port}/'


def fetch(url):
    with urllib.request.urlopen(url) as reply:
        return reply.read()


for name, options in [('healthy', []), ('blanks', ['--fault', 'blanks']),
                      ('nohttp', ['--fault', 'nohttp'])]:
    process, base = service(*options)
    try:
        write('version-reply', name, fetch(base + 'get_new_version.php?sn=VD2012-000417'))
    finally:
        process.terminate()
        process.wait()

process, base = service('--fault', 'markup:3')
try:
    catalogue = fetch(base + 'courses/cat26/cat26.xml')
    write('catalogue', 'all-versions', struct.pack('<I', 24) + catalogue)
    write('catalogue', 'newest-only', struct.pack('<I', 25) + catalogue)
    for uid in range(1, 11):
        write('course-name', f'catalogue-map-{uid}', fetch(base + f'gof/{uid}_26.gof')[:20])
finally:
    process.terminate()
    process.wait()

with tempfile.TemporaryDirectory() as folder:
    process, base = service()
    try:
        data = os.path.join(folder, 'cli')
        subprocess.run([os.path.join(BIN, 'verdal-cli'), '--data-dir', data, '--server', base,
                        'update'], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with sqlite3.connect(os.path.join(data, 'golf.db')) as db:
            db.text_factory = bytes
            for index, (gof,) in enumerate(db.execute('select gof from GOLF order by rowid limit 3')):
                write('gof-codec', f'column-{index}', gof)
        write('settings', 'after-update', open(os.path.join(data, 'settings.reg'), 'rb').read())

        # verdal connected to a device keeps its serial number.
        link = os.path.join(folder, 'ttyUSB0')
        device = subprocess.Popen([os.path.join(BIN, 'verdal-devsim'), '--link', link, '--serial',
                                   'VD2012-000417'], stdout=subprocess.PIPE)
        device.stdout.readline()
        app = os.path.join(folder, 'app')
        verdal = subprocess.Popen([os.path.join(BIN, 'verdal'), '--no-browser', '--data-dir', app,
                                   '--port', link, '--server', base], stdout=subprocess.DEVNULL)
        for _ in range(100):
            time.sleep(0.1)
            path = os.path.join(app, 'settings.reg')
            if os.path.exists(path) and b'VD2012' in open(path, 'rb').read():
                break
        verdal.send_signal(signal.SIGTERM)
        verdal.wait()
        device.terminate()
        device.wait()
        after = open(os.path.join(app, 'settings.reg'), 'rb').read()
        write('settings', 'after-connect', after)
        # On a USB adapter the device's adapter is remembered too (a pseudo-terminal has none),
        # as the test machine's FTDI adapter is.
        write('settings', 'with-adapter',
              after.rstrip(b'\n') + b'\n"adapter"="usb 0403:6001 serial VERDAL-DEVICE"\n\n')
    finally:
        process.terminate()
        process.wait()
