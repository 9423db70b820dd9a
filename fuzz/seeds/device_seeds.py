#!/usr/bin/env python3
"""Records what verdal-devsim answers on its terminal, as seeds of the device fuzz targets.

  device_seeds.py BIN CORPUS

For each command the program sends, the simulator's reply (healthy, and with the faults that
damage replies) becomes a device-replies input: the request's kind, then the reply in pieces of a
length byte (top bit: after the listening window) and the bytes. A course transfer's answers
become xmodem-answers inputs, and the device's course list entries and the heads of the course
maps it holds become course-name inputs.
"""
import os
import select
import subprocess
import sys
import tempfile
import termios
import time
import tty

BIN, CORPUS = sys.argv[1], sys.argv[2]
KINDS = {'FCON': 0, 'EXIT': 1, 'RDCS': 2, 'RDSN': 3, 'CRDC': 4, 'CRCA': 5, 'CRLS': 6}
COURSES = ['Heron Lakes Golf', 'Pebble Creek GC', '\u0141\u00f3d\u017a GC', '\u5bcc\u58eb\u898b GC']


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


class Device:
    def __init__(self, folder, *options):
        self.link = os.path.join(folder, 'ttyUSB0')
        self.process = subprocess.Popen(
            [os.path.join(BIN, 'verdal-devsim'), '--link', self.link, '--serial', 'VD2012-000417',
             '--capacity', '20', '--store', os.path.join(folder, 'store'),
             *[a for c in COURSES for a in ('--course', c)], *options],
            stdout=subprocess.PIPE)
        assert self.process.stdout.readline().startswith(b'READY')
        self.fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    def read(self, ms):
        got = b''
        end = time.time() + ms / 1000
        while time.time() < end:
            ready, _, _ = select.select([self.fd], [], [], max(0, end - time.time()))
            if ready:
                got += os.read(self.fd, 4096)
        return got

    def say(self, data):
        os.write(self.fd, data)

    def close(self):
        os.close(self.fd)
        self.process.terminate()
        self.process.wait()


def reply_input(kind, reply):
    """The kind, then the reply in pieces: all but the last arrive within the window."""
    pieces = [reply[i:i + 100] for i in range(0, len(reply), 100)] or [b'']
    data = bytes([KINDS[kind]])
    for index, piece in enumerate(pieces):
        late = 0x80 if index == len(pieces) - 1 else 0
        data += bytes([late | len(piece)]) + piece
    return data


def record_replies(name, *options):
    with tempfile.TemporaryDirectory() as folder:
        device = Device(folder, *options)
        try:
            for kind in ['FCON', 'RDCS', 'RDSN', 'CRLS', 'CRDC', 'CRCA', 'EXIT']:
                command = b'$' + kind.encode()
                if kind == 'CRDC':
                    command += b' ' + bytes([0x80 + 20]) + b'Heron Lakes Golf'.ljust(20, b'\0')
                else:
                    command += b'\r'
                device.say(command)
                reply = device.read(700 if kind not in ('CRLS', 'CRCA') else 1200)
                write('device-replies', f'{name}-{kind.lower()}', reply_input(kind, reply))
                if kind == 'CRLS' and name == 'healthy':
                    # Each list entry: a length byte and its name bytes, from offset 6.
                    at = 6
                    while at < len(reply) and reply[at]:
                        length = reply[at]
                        write('course-name', f'listed-{at}', reply[at + 1:at + 1 + length])
                        at += 1 + length
        finally:
            device.close()


def crc16(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


def record_transfer(name, *options):
    """Sends one 57-block course map and keeps every answer byte the device gave."""
    course = bytearray(7296)
    course[0:16] = b'Seed Course Map\0'
    for i in range(16, len(course)):
        course[i] = (i * 7) & 0xFF
    answers = b''
    with tempfile.TemporaryDirectory() as folder:
        device = Device(folder, *options)
        try:
            device.say(b'$NCFS\r')
            device.read(600)
            device.say(b'$STRT\r')
            position, eot = 0, False
            for _ in range(400):
                answer = device.read(1500)[:1]
                if not answer:
                    break
                answers += answer
                if eot:
                    if answer == b'\x06':
                        break
                    if answer == b'\x15':
                        device.say(b'\x04')
                    continue
                if answer == b'\x06' and position == len(course):
                    eot = True
                    device.say(b'\x04')
                    continue
                if answer == b'\x15' and position >= 128:
                    position -= 128
                if answer in (b'\x06', b'\x15') or (answer == b'C' and position == 0):
                    block = bytes(course[position:position + 128])
                    number = (position // 128 + 1) & 0xFF
                    crc = crc16(block)
                    device.say(bytes([1, number, 255 - number]) + block + bytes([crc >> 8, crc & 0xFF]))
                    position += 128
        finally:
            device.close()
    # The sender's course length byte (57 blocks), then the answers.
    write('xmodem-answers', name, bytes([57]) + answers)
    write('course-name', f'map-head-{name}', bytes(course[:20]))


record_replies('healthy')
record_replies('garbage', '--fault', 'garbage:RDCS', '--fault', 'garbage:CRLS')
record_replies('nomarker', '--fault', 'nomarker:RDSN', '--fault', 'nomarker:FCON')
record_replies('empty-serial', '--fault', 'empty-serial')
record_transfer('healthy')
record_transfer('nak-block-3', '--fault', 'nak:3')
record_transfer('nak-eot', '--fault', 'nak-eot')
