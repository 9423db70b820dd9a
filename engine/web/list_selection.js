// A list view's selection as the mouse and keys change it, told to the program each time:
// one row, a range from the anchor, or a row added or taken away with Ctrl; and the keys that
// move in a list or ask for a row's menu. The list draws itself again through its model's
// render, which the list view gives it.
import {send} from './connection.js';
import {MSG_LVRCLICK, MSG_LVSEL} from './protocol.js';

function sendSelection(model) {
    send({
        t: MSG_LVSEL,
        hwnd: model.hwnd,
        sel: [...model.selected].sort((a, b) => a - b),
        focus: model.focus
    });
    model.render();
}

// Only the row index (-1: none) is selected, and it becomes the anchor.
export function selectOnly(model, index) {
    model.selected = new Set(index >= 0 ? [index] : []);
    model.focus = index;
    model.anchor = index;
    sendSelection(model);
}

// The rows from the anchor to index are selected, beside the others when keep is true.
export function selectRange(model, index, keep) {
    const [a, b] = [Math.min(model.anchor, index), Math.max(model.anchor, index)];
    model.selected = new Set(keep ? model.selected : []);
    for (let i = a; i <= b; i++) model.selected.add(i);
    model.focus = index;
    sendSelection(model);
}

export function clickRow(model, index, event) {
    if (index < 0) return selectOnly(model, -1);
    if (!model.singleSelect && event.shiftKey && model.anchor >= 0)
        return selectRange(model, index, event.ctrlKey);
    if (!model.singleSelect && (event.ctrlKey || event.metaKey)) {
        if (model.selected.has(index))
            model.selected.delete(index);
        else
            model.selected.add(index);
        model.focus = index;
        model.anchor = index;
        return sendSelection(model);
    }
    selectOnly(model, index);
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

// A key in a list: the arrows, the page keys, Home and End move the selection (Shift extends
// it); the menu key or Shift+F10 asks for the focused row's menu.
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
