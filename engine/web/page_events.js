// What the user does in a view's page, sent to the program: clicks, a select's change, an
// edit's input and keys, each with the element's id, the mouse position and the control's
// state. The list views' rows send their own messages.
import {send} from './connection.js';
import {startDrag} from './dialogs.js';
import {pageKeyMessage} from './keyboard.js';
import {closeMenu, menuOpen} from './menus.js';
import {MSG_CHANGE, MSG_CLICK, MSG_INPUT} from './protocol.js';

// The page position of a mouse event in a view.
export function position(view, event) {
    if (typeof event.clientX !== 'number') return {};
    const rect = view.frame.getBoundingClientRect();
    return { x: Math.round(rect.left + event.clientX), y: Math.round(rect.top + event.clientY) };
}

export function controlState(element) {
    const state = {};
    if (!element) return state;
    if (element.tagName === 'INPUT' && (element.type === 'checkbox' || element.type === 'radio')) {
        state.checked = element.checked;
    } else if (element.tagName === 'INPUT' || element.tagName === 'SELECT' ||
               element.tagName === 'TEXTAREA') {
        state.value = element.value;
    }
    return state;
}

// The element of the program's an event is about, null inside a list view.
export function target(event) {
    const element = event.target && event.target.closest ? event.target.closest('[data-v]') : null;
    if (!element || element.closest('.verdal-lv')) return null;
    return element;
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
