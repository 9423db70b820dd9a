// Keys: those the program hears from a page, and the keys that move in a list view.
import {send} from './connection.js';
import {selectOnly, selectRange} from './list_selection.js';
import {controlState, target} from './page_events.js';
import {MSG_KEY, MSG_LVRCLICK} from './protocol.js';

const kModifiers = ['Shift', 'Control', 'Alt', 'Meta'];

// The key message of a keydown in a view's page, or null for a key the page types itself or
// a key with nothing of the program's under it. "modifiers" holds 1 for control, 2 shift, 4 alt.
export function pageKeyMessage(view, event) {
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

// The menu key, or Shift+F10, asks for the focused row's menu beside the row.
function sendRowMenu(model) {
    const rect = model.ui.body.getBoundingClientRect();
    const frame = model.ui.view.frame.getBoundingClientRect();
    const y =
        Math.max(0, model.focus) * model.rowHeight - model.ui.body.scrollTop + model.rowHeight / 2;
    send({
        t: MSG_LVRCLICK,
        hwnd: model.hwnd,
        item: model.focus,
        x: Math.round(frame.left + rect.left + 20),
        y: Math.round(frame.top + rect.top + (y || 12))
    });
}

// The row a moving key goes to from the focused one, or undefined for another key.
function rowAfterKey(model, key) {
    const count = model.rows.length, index = model.focus;
    const page = Math.max(1, Math.floor(model.ui.body.clientHeight / model.rowHeight) - 1);
    switch (key) {
    case 'ArrowDown': return Math.min(count - 1, index + 1);
    case 'ArrowUp': return Math.max(0, index - 1);
    case 'PageDown': return Math.min(count - 1, index + page);
    case 'PageUp': return Math.max(0, index - page);
    case 'Home': return 0;
    case 'End': return count - 1;
    default: return undefined;
    }
}

export function listKey(model, event) {
    if (!model.rows.length) return;
    if (event.key === 'ContextMenu' || (event.key === 'F10' && event.shiftKey)) {
        event.preventDefault();
        sendRowMenu(model);
        return;
    }
    let index = rowAfterKey(model, event.key);
    if (index === undefined) return;
    event.preventDefault();
    if (index < 0) index = 0;
    if (event.shiftKey && !model.singleSelect && model.anchor >= 0)
        selectRange(model, index, false);
    else
        selectOnly(model, index);
    const top = index * model.rowHeight, body = model.ui.body;
    if (top < body.scrollTop)
        body.scrollTop = top;
    else if (top + model.rowHeight > body.scrollTop + body.clientHeight)
        body.scrollTop = top + model.rowHeight - body.clientHeight;
}
