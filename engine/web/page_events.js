// What the user does in a view's page, sent to the program: clicks, a select's change, an
// edit's input and keys, each with the element's id, the mouse position and the control's
// state. The list views' rows send their own messages.
import {send} from './connection.js';
import {startDrag} from './dialogs.js';
import {controlState, position, target} from './elements.js';
import {closeMenu, menuOpen} from './menus.js';
import {MSG_CHANGE, MSG_CLICK, MSG_INPUT, MSG_KEY} from './protocol.js';

const kModifiers = ['Shift', 'Control', 'Alt', 'Meta'];

// The key message of a keydown in a view's page, or null for a key the page types itself or
// a key with nothing of the program's under it. "modifiers" holds 1 for control, 2 shift, 4 alt.
function pageKeyMessage(view, event) {
    if (event.key.length === 1 && !event.ctrlKey && !event.altKey) return null;
    if (kModifiers.includes(event.key)) return null;
    const element = target(event) || view.doc.body.closest('[data-v]') || view.doc.body;
    if (!element.dataset.v) return null;
    const modifiers = (event.ctrlKey ? 1 : 0) | (event.shiftKey ? 2 : 0) | (event.altKey ? 4 : 0);
    return Object.assign({
        t: MSG_KEY,
        hwnd: view.hwnd,
        id: Number(element.dataset.v),
        key: event.keyCode,
        modifiers
    },
                         controlState(element));
}

function elementMessage(view, type, element, event) {
    return Object.assign({ t: type, hwnd: view.hwnd, id: Number(element.dataset.v) },
                         position(view, event), controlState(element));
}

export function wireEvents(view) {
    const doc = view.doc;
    doc.addEventListener('submit', (event) => event.preventDefault(), true);
    doc.addEventListener('click', (event) => {
        const link = event.target.closest && event.target.closest('a[href]');
        if (link) event.preventDefault();
        const element = target(event);
        if (element) send(elementMessage(view, MSG_CLICK, element, event));
    });
    doc.addEventListener('change', (event) => {
        const element = target(event);
        if (element && element.tagName === 'SELECT')
            send(elementMessage(view, MSG_CHANGE, element, event));
    });
    doc.addEventListener('input', (event) => {
        const element = target(event);
        if (element && element.tagName !== 'SELECT' && element.type !== 'checkbox' &&
            element.type !== 'radio')
            send(elementMessage(view, MSG_INPUT, element, event));
    });
    doc.addEventListener('keydown', (event) => {
        const message = pageKeyMessage(view, event);
        if (message) send(message);
    });
    doc.addEventListener('contextmenu', (event) => {
        if (!event.target.closest || !event.target.closest('.verdal-lv')) event.preventDefault();
    });
    doc.addEventListener('mousedown', (event) => {
        if (menuOpen() && event.button === 0) closeMenu(true);
        if (view.kind === 'dialog' && view.band && view.band[0] > 0) startDrag(view, event);
    });
}
