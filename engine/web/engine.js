// The browser side of the engine: shows the program's windows from the state and patches the
// program sends over the WebSocket, and sends back what the user does. Each operation of the
// wire has its handler below; the page does not start if one lacks a handler.
import {connect, patches} from './connection.js';
import {lists, mountLists, setList, setRows, setSelection} from './listview.js';
import {closeMenu, showMenu} from './menus.js';
import {
    OP_ATTR,
    OP_BEEP,
    OP_CHECKED,
    OP_CLOSE,
    OP_INNER,
    OP_LIST,
    OP_MENU,
    OP_MENUCLOSE,
    OP_ROWS,
    OP_SEL,
    OP_VALUE,
    OP_VIEW,
    OPERATIONS
} from './protocol.js';
import {beep} from './sound.js';
import {
    clearViews,
    closeView,
    elementOp,
    openView,
    setPartsMounter,
    sizeResizedDialogs,
    views
} from './views.js';

// The list views are built into each page that has a place for them.
setPartsMounter(mountLists);

const kHandlers = {
    [OP_VIEW]: openView,
    [OP_CLOSE]: closeView,
    [OP_LIST]: setList,
    [OP_ROWS]: setRows,
    [OP_SEL]: setSelection,
    [OP_INNER]: elementOp,
    [OP_ATTR]: elementOp,
    [OP_VALUE]: elementOp,
    [OP_CHECKED]: elementOp,
    [OP_MENU]: showMenu,
    [OP_MENUCLOSE]: () => closeMenu(false),
    [OP_BEEP]: beep,
};

const unhandled = OPERATIONS.filter((name) => !(name in kHandlers));
if (unhandled.length) throw new Error(`engine.js: no handler for ${unhandled.join(', ')}`);

function applyOp(op) {
    const handler = kHandlers[op.o];
    if (handler) handler(op);
}

function applyState(ops) {
    clearViews();
    lists.clear();
    closeMenu(false);
    ops.forEach(applyOp);
}

// What tests read of the page.
window.verdal = {
    views,
    lists,
    patches
};
connect({ state: applyState, op: applyOp, applied: sizeResizedDialogs });
