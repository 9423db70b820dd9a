// The program's views: each window's page in an iframe of its own, a dialog in an overlay that
// makes everything beneath inert, a nested view in the frame its parent's page made for it.
// Operations on a page's elements wait until the page has loaded.
import {send} from './connection.js';
import {dialogContainer, pageSize, sizeDialog} from './dialogs.js';
import {wireEvents} from './page_events.js';
import {MSG_SIZE, OP_ATTR, OP_CHECKED, OP_INNER, OP_VALUE} from './protocol.js';

export const views = new Map(); // hwnd -> view record

// What builds a page's own parts once its content is there (the list views); set by the page's
// composition root, engine.js.
let mountParts = () => {};
export function setPartsMounter(mount) { mountParts = mount; }
const resized = new Set(); // dialogs to measure once the current message is applied
const viewsRoot = () => document.getElementById('views');
const countViews = () => (document.body.dataset.views = String(views.size));

export function clearViews() {
    for (const view of views.values())
        if (view.container) view.container.remove();
    views.clear();
}

// An operation on an element of a view, kept until the view's page has loaded.
export function elementOp(op) {
    const view = views.get(op.hwnd);
    if (!view) return;
    if (!view.ready)
        view.pending.push(op);
    else
        applyElementOp(view, op);
}

function byId(view, id) { return view.doc ? view.doc.querySelector(`[data-v="${id}"]`) : null; }

// A text control's value follows its attribute unless the user is typing in it; a progress
// bar's value never changes the dialog's size.
function setAttribute(view, element, op) {
    if (op.value === null)
        element.removeAttribute(op.name);
    else
        element.setAttribute(op.name, op.value);
    if (op.name !== 'value') return true;
    if (element.tagName === 'PROGRESS') {
        element.value = Number(op.value) || 0;
        // A search moves a bar thousands of times: measuring the page each time would cost
        // more than the search.
        return false;
    }
    if ('value' in element && element.tagName !== 'BUTTON' && view.doc.activeElement !== element)
        element.value = op.value ?? '';
    return true;
}

// The element operations, by name: each returns false when the page's size cannot have changed.
const kElementOps = {
    [OP_INNER]: (view, element, op) => {
        element.innerHTML = op.html;
        mountParts(view);
        attachNested(view);
    },
    [OP_ATTR]: setAttribute,
    [OP_VALUE]: (view, element, op) => { element.value = op.value; },
    [OP_CHECKED]: (view, element, op) => { element.checked = op.on; },
};

function applyElementOp(view, op) {
    const element = byId(view, op.id);
    if (!element) return;
    if (kElementOps[op.o](view, element, op) === false) return;
    if (view.kind === 'dialog') resized.add(view);
}

// Each dialog whose page changed is measured once, after all the operations of a message.
export function sizeResizedDialogs() {
    for (const view of resized)
        if (views.get(view.hwnd) === view) sizeDialog(view);
    resized.clear();
}

export function openView(op) {
    const old = views.get(op.hwnd);
    if (old && old.container) old.container.remove();
    if (op.kind === 'nested') {
        const view = {
            hwnd: op.hwnd,
            kind: op.kind,
            order: op.order,
            media: op.media,
            html: op.html,
            frame: null,
            container: null,
            doc: null,
            ready: false,
            pending: []
        };
        views.set(op.hwnd, view);
        for (const parent of views.values())
            if (parent.ready) attachNested(parent);
        return;
    }
    const frame = document.createElement('iframe');
    frame.title = op.kind === 'dialog' ? 'dialog' : 'window';
    const view = {
        hwnd: op.hwnd,
        kind: op.kind,
        order: op.order,
        width: op.width,
        height: op.height,
        band: op.band,
        media: op.media,
        frame,
        doc: null,
        ready: false,
        pending: []
    };
    if (op.kind === 'dialog') {
        dialogContainer(view, frame);
    } else {
        view.container = document.createElement('div');
        view.container.className = 'verdal-window';
        view.container.append(frame);
    }
    view.container.style.zIndex = String(op.order);
    view.container.dataset.hwnd = String(op.hwnd);
    frame.addEventListener('load', () => onViewLoaded(view), { once: true });
    frame.srcdoc = op.html;
    views.set(op.hwnd, view);
    viewsRoot().append(view.container);
    updateInert();
}

// A nested view is drawn in the iframe element of its parent's page made for it.
function attachNested(parent) {
    for (const frame of parent.doc.querySelectorAll('iframe[data-hwnd]')) {
        const view = views.get(Number(frame.dataset.hwnd));
        if (!view || view.kind !== 'nested' || view.frame === frame) continue;
        view.frame = frame;
        view.ready = false;
        frame.addEventListener('load', () => onViewLoaded(view), { once: true });
        frame.srcdoc = view.html;
    }
}

// A dialog is named by its page's title or first heading, and its first control has the focus.
function presentDialog(view) {
    const heading = view.doc.querySelector('h1, h2, h3, h4, h5, h6');
    const label = view.doc.title || (heading && heading.textContent.trim());
    if (label) view.box.setAttribute('aria-label', label);
    sizeDialog(view);
    const first = view.doc.querySelector('button, input, select, textarea, [tabindex]');
    view.frame.focus();
    if (first) first.focus();
}

function onViewLoaded(view) {
    if (views.get(view.hwnd) !== view) return;
    view.doc = view.frame.contentDocument;
    view.doc.documentElement.dataset.media = view.media;
    view.ready = true;
    wireEvents(view);
    mountParts(view);
    attachNested(view);
    for (const op of view.pending) applyElementOp(view, op);
    view.pending = [];
    resized.delete(view);
    if (view.kind === 'dialog') presentDialog(view);
    reportSize(view);
    countViews();
}

export function closeView(op) {
    const view = views.get(op.hwnd);
    if (!view) return;
    if (view.container) view.container.remove();
    views.delete(op.hwnd);
    updateInert();
    countViews();
}

// Everything below the topmost dialog is inert.
function updateInert() {
    let top = 0;
    for (const view of views.values())
        if (view.kind === 'dialog') top = Math.max(top, view.order);
    for (const view of views.values())
        if (view.container) view.container.inert = view.order < top;
    const topView = [...views.values()].find((v) => v.order === top);
    if (topView && topView.ready) topView.frame.focus();
}

function reportSize(view) {
    if (!view.doc) return;
    const size = pageSize(view);
    send({ t: MSG_SIZE, hwnd: view.hwnd, w: size.width, h: size.height });
}

window.addEventListener('resize', () => {
    for (const view of views.values())
        if (view.kind === 'dialog') sizeDialog(view);
});
