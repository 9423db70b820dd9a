// The program's end of the page: one WebSocket to the program, the messages it sends applied
// through the handlers the entry module gives, and a new connection a second after one is lost.
import {MSG_HELLO, PATCH_MESSAGE, STATE_MESSAGE} from './protocol.js';

let socket = null;
let patchCount = 0;

export function send(message) {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
}

export const patches = () => patchCount;

function setStatus(text) {
    const status = document.getElementById('verdal-status');
    if (status) status.textContent = text;
}

// handlers: state(ops) takes the whole state, op(op) one patch operation, and applied() runs
// once all the operations of a message are in.
export function connect(handlers) {
    socket = new WebSocket(`ws://${location.host}/ws`);
    socket.onopen = () => {
        setStatus('');
        send({
            t: MSG_HELLO,
            contrast: matchMedia('(prefers-contrast: more)').matches ||
                          matchMedia('(forced-colors: active)').matches,
        });
    };
    socket.onmessage = (event) => {
        const message = JSON.parse(event.data);
        if (message.t === STATE_MESSAGE)
            handlers.state(message.ops);
        else if (message.t === PATCH_MESSAGE)
            message.ops.forEach(handlers.op);
        handlers.applied();
        patchCount += 1;
        document.body.dataset.patches = String(patchCount);
    };
    socket.onclose = () => {
        setStatus('The program is not reachable; trying again…');
        setTimeout(() => connect(handlers), 1000);
    };
}
