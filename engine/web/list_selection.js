// A list view's selection as the mouse and keys change it, told to the program each time:
// one row, a range from the anchor, or a row added or taken away with Ctrl.
import {send} from './connection.js';
import {renderRows} from './listview.js';
import {MSG_LVSEL} from './protocol.js';

function sendSelection(model) {
    send({
        t: MSG_LVSEL,
        hwnd: model.hwnd,
        sel: [...model.selected].sort((a, b) => a - b),
        focus: model.focus
    });
    renderRows(model);
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
