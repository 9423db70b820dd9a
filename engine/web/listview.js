// The report list view: the program's model of each list (columns, rows, selection, styles and
// colours), drawn as a grid whose rows exist in the page only while in sight.
import {send} from './connection.js';
import {position} from './elements.js';
import {clickRow, listKey, selectOnly} from './list_selection.js';
import {MSG_LVRCLICK} from './protocol.js';
import {views} from './views.js';

export const lists = new Map(); // hwnd -> list view model

export function setList(op) {
    const old = lists.get(op.hwnd);
    const model = Object.assign(old || { hwnd: op.hwnd, focus: -1, anchor: -1 }, {
        singleSelect: op.singleSelect,
        noHeader: op.noHeader,
        grid: op.grid,
        rowHeight: op.rowHeight || 24,
        columns: op.columns,
        rows: op.rows,
        selected: new Set(op.sel),
        colors: op.colors,
    });
    // The selection draws the rows again through this.
    model.render = () => renderRows(model);
    lists.set(op.hwnd, model);
    if (!model.ui || !model.ui.root.isConnected) {
        for (const view of views.values())
            if (view.ready) mountLists(view);
    } else {
        layoutList(model);
    }
}

export function setRows(op) {
    const model = lists.get(op.hwnd);
    if (!model) return;
    model.rows.length = Math.min(model.rows.length, op.start);
    for (const row of op.rows) model.rows.push(row);
    model.rows.length = op.count;
    if (!model.ui) return;
    // A search sends its rows in many batches: each only lengthens the list, and the rows in
    // sight are drawn once a frame, without measuring the page per batch.
    sizeRows(model);
    scheduleRender(model);
}

export function setSelection(op) {
    const model = lists.get(op.hwnd);
    if (!model) return;
    model.selected = new Set(op.sel);
    if (model.ui) renderRows(model);
}

function scheduleRender(model) {
    const ui = model.ui;
    const win = ui.view.frame && ui.view.frame.contentWindow;
    if (ui.frame || !win || !ui.root.isConnected) return;
    ui.frame = win.requestAnimationFrame(() => {
        ui.frame = 0;
        renderRows(model);
    });
}

// Each list a view's page has a place for is built in it.
export function mountLists(view) {
    for (const widget of view.doc.querySelectorAll('widget[data-hwnd]')) {
        const model = lists.get(Number(widget.dataset.hwnd));
        if (model && (!model.ui || model.ui.widget !== widget || !model.ui.root.isConnected))
            buildList(model, widget, view);
    }
}

function element(doc, className, role) {
    const made = doc.createElement('div');
    made.className = className;
    if (role) made.setAttribute('role', role);
    return made;
}

function buildList(model, widget, view) {
    const doc = widget.ownerDocument;
    widget.textContent = '';
    const root = element(doc, 'verdal-lv', 'grid');
    const head = element(doc, 'verdal-lv-head');
    const headRow = element(doc, 'verdal-lv-headrow', 'row');
    headRow.setAttribute('aria-rowindex', '1');
    head.append(headRow);
    // The rows' scroller takes the focus, so that Tab reaches the list and the arrow keys move
    // in it, and a keyboard can scroll what it scrolls.
    const body = element(doc, 'verdal-lv-body', 'rowgroup');
    body.tabIndex = 0;
    const spacer = element(doc, 'verdal-lv-spacer');
    body.append(spacer);
    root.append(head, body);
    widget.append(root);
    model.ui = { widget, root, head, headRow, body, spacer, view, pool: [], frame: 0 };

    body.addEventListener('scroll', () => {
        headRow.style.transform = `translateX(${- body.scrollLeft}px)`;
        scheduleRender(model);
    });
    body.addEventListener('mousedown', (event) => {
        body.focus();
        if (event.button !== 0) return;
        clickRow(model, rowAt(model, event), event);
    });
    body.addEventListener('contextmenu', (event) => {
        event.preventDefault();
        body.focus();
        const index = rowAt(model, event);
        if (index >= 0 && !model.selected.has(index)) selectOnly(model, index);
        send(Object.assign({ t: MSG_LVRCLICK, hwnd: model.hwnd, item: index },
                           position(view, event)));
    });
    root.addEventListener('keydown', (event) => listKey(model, event));
    new view.frame.contentWindow.ResizeObserver(() => renderRows(model)).observe(body);
    layoutList(model);
}

const kColorProperties = {
    background: '--lv-bg',
    outer: '--lv-outer',
    inner: '--lv-inner',
    top: '--lv-top',
    bottom: '--lv-bottom',
};

function layoutList(model) {
    const ui = model.ui;
    if (!ui) return;
    for (const [name, property] of Object.entries(kColorProperties))
        ui.root.style.setProperty(property, model.colors[name]);
    ui.root.classList.toggle('verdal-lv-grid', model.grid);
    ui.root.classList.toggle('verdal-lv-nohead', model.noHeader);
    ui.root.setAttribute('aria-multiselectable', String(!model.singleSelect));
    ui.root.setAttribute('aria-colcount', String(model.columns.length));
    const label = ui.widget.getAttribute('aria-label') || ui.widget.id;
    if (label) ui.root.setAttribute('aria-label', label);
    ui.headRow.textContent = '';
    let total = 0;
    for (const column of model.columns) {
        const cell = element(ui.root.ownerDocument, 'verdal-lv-hcell', 'columnheader');
        cell.style.width = column.width + 'px';
        cell.textContent = column.text;
        ui.headRow.append(cell);
        total += column.width;
    }
    model.totalWidth = total;
    sizeRows(model);
    ui.spacer.style.width = total + 'px';
    for (const row of ui.pool) row.remove();
    ui.pool = [];
    renderRows(model);
}

// The scrolled height and the row count a screen reader announces follow the number of rows.
function sizeRows(model) {
    model.ui.spacer.style.height = model.rows.length * model.rowHeight + 'px';
    model.ui.root.setAttribute('aria-rowcount', String(model.rows.length + 1));
}

function fillRow(model, row, index, texts) {
    row.dataset.index = String(index);
    row.dataset.texts = texts.join('\u0001');
    row.textContent = '';
    model.columns.forEach((column, i) => {
        const cell = element(row.ownerDocument, 'verdal-lv-cell', 'gridcell');
        cell.style.width = column.width + 'px';
        cell.textContent = texts[i] || '';
        row.append(cell);
    });
}

// Only the rows in sight exist in the page.
export function renderRows(model) {
    const ui = model.ui;
    if (!ui || !ui.root.isConnected) return;
    const height = model.rowHeight;
    const first = Math.max(0, Math.floor(ui.body.scrollTop / height) - 2);
    const last = Math.min(model.rows.length,
                          Math.ceil((ui.body.scrollTop + ui.body.clientHeight) / height) + 2);
    const needed = Math.max(0, last - first);
    while (ui.pool.length < needed) {
        const row = element(ui.root.ownerDocument, 'verdal-lv-row', 'row');
        ui.spacer.append(row);
        ui.pool.push(row);
    }
    while (ui.pool.length > needed) ui.pool.pop().remove();
    for (let k = 0; k < needed; k++) {
        const index = first + k;
        const row = ui.pool[k];
        const texts = model.rows[index] || [];
        if (row.dataset.index !== String(index) || row.dataset.texts !== texts.join('\u0001') ||
            row.childElementCount !== model.columns.length)
            fillRow(model, row, index, texts);
        row.style.top = index * height + 'px';
        row.style.height = height + 'px';
        row.style.width = model.totalWidth + 'px';
        row.setAttribute('aria-rowindex', String(index + 2));
        row.setAttribute('aria-selected', String(model.selected.has(index)));
        row.classList.toggle('focused', index === model.focus);
        row.id = `lv${model.hwnd}-${index}`;
    }
    // Screen readers follow the focused row.
    const focused =
        model.focus >= first && model.focus < last ? `lv${model.hwnd}-${model.focus}` : null;
    if (focused)
        ui.root.setAttribute('aria-activedescendant', focused);
    else
        ui.root.removeAttribute('aria-activedescendant');
}

function rowAt(model, event) {
    const rect = model.ui.body.getBoundingClientRect();
    const y = event.clientY - rect.top + model.ui.body.scrollTop;
    const index = Math.floor(y / model.rowHeight);
    return index >= 0 && index < model.rows.length ? index : -1;
}
