// The browser side of the engine: shows the program's windows from the state and patches the
// program sends over the WebSocket, and sends back what the user does. Each window's page lives
// in an iframe of its own; a modal dialog is an overlay that makes everything beneath inert.
'use strict';
(() => {
  const views = new Map();   // hwnd -> view record
  const lists = new Map();   // hwnd -> list view model
  const resized = new Set(); // dialogs to measure once the current message is applied
  let socket = null;
  let menu = null;           // the popup menu on screen
  let patchCount = 0;
  const viewsRoot = () => document.getElementById('views');

  function send(message) {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
  }

  function setStatus(text) {
    const status = document.getElementById('verdal-status');
    if (status) status.textContent = text;
  }

  function connect() {
    socket = new WebSocket(`ws://${location.host}/ws`);
    socket.onopen = () => {
      setStatus('');
      send({ t: 'hello', contrast: matchMedia('(prefers-contrast: more)').matches ||
                                   matchMedia('(forced-colors: active)').matches });
    };
    socket.onmessage = (event) => {
      const message = JSON.parse(event.data);
      if (message.t === 'state') applyState(message.ops);
      else if (message.t === 'patch') message.ops.forEach(applyOp);
      sizeResizedDialogs();
      patchCount += 1;
      document.body.dataset.patches = String(patchCount);
    };
    socket.onclose = () => {
      setStatus('The program is not reachable; trying again…');
      setTimeout(connect, 1000);
    };
  }

  // ---- Views -----------------------------------------------------------------------------

  function applyState(ops) {
    for (const view of views.values()) if (view.container) view.container.remove();
    views.clear();
    lists.clear();
    closeMenu(false);
    ops.forEach(applyOp);
  }

  function applyOp(op) {
    switch (op.o) {
      case 'view': return openView(op);
      case 'close': return closeView(op.hwnd);
      case 'list': return setList(op);
      case 'rows': return setRows(op);
      case 'sel': return setSelection(op);
      case 'menu': return showMenu(op);
      case 'menuclose': return closeMenu(false);
      case 'beep': return beep();
      default: {
        const view = views.get(op.hwnd);
        if (!view) return;
        if (!view.ready) view.pending.push(op);
        else applyElementOp(view, op);
      }
    }
  }

  function byId(view, id) {
    return view.doc ? view.doc.querySelector(`[data-v="${id}"]`) : null;
  }

  function applyElementOp(view, op) {
    const element = byId(view, op.id);
    if (!element) return;
    if (op.o === 'inner') {
      element.innerHTML = op.html;
      mountLists(view);
      attachNested(view);
    } else if (op.o === 'attr') {
      if (op.value === null) element.removeAttribute(op.name);
      else element.setAttribute(op.name, op.value);
      if (op.name === 'value' && 'value' in element && element.tagName !== 'BUTTON' &&
          element.tagName !== 'PROGRESS' && view.doc.activeElement !== element) {
        element.value = op.value ?? '';
      } else if (op.name === 'value' && element.tagName === 'PROGRESS') {
        element.value = Number(op.value) || 0;
        // A bar's value never changes the dialog's size, and a search moves it thousands of
        // times: measuring the page each time would cost more than the search.
        return;
      }
    } else if (op.o === 'value') {
      element.value = op.value;
    } else if (op.o === 'checked') {
      element.checked = op.on;
    }
    if (view.kind === 'dialog') resized.add(view);
  }

  // Each dialog whose page changed is measured once, after all the operations of a message.
  function sizeResizedDialogs() {
    for (const view of resized) if (views.get(view.hwnd) === view) sizeDialog(view);
    resized.clear();
  }

  function openView(op) {
    const old = views.get(op.hwnd);
    if (old && old.container) old.container.remove();
    if (op.kind === 'nested') {
      const view = { hwnd: op.hwnd, kind: op.kind, order: op.order, media: op.media,
                     html: op.html, frame: null, container: null, doc: null, ready: false,
                     pending: [] };
      views.set(op.hwnd, view);
      for (const parent of views.values()) if (parent.ready) attachNested(parent);
      return;
    }
    const frame = document.createElement('iframe');
    frame.title = op.kind === 'dialog' ? 'dialog' : 'window';
    const view = { hwnd: op.hwnd, kind: op.kind, order: op.order, width: op.width,
                   height: op.height, band: op.band, media: op.media, frame, doc: null,
                   ready: false, pending: [] };
    if (op.kind === 'dialog') {
      const overlay = document.createElement('div');
      overlay.className = 'verdal-overlay';
      const box = document.createElement('div');
      box.className = 'verdal-dialog';
      box.setAttribute('role', 'dialog');
      box.setAttribute('aria-modal', 'true');
      box.append(frame);
      overlay.append(box);
      // A click beside a modal dialog leaves the focus in the dialog.
      overlay.addEventListener('mousedown', (event) => {
        if (event.target === overlay) event.preventDefault();
      });
      view.container = overlay;
      view.box = box;
    } else {
      const container = document.createElement('div');
      container.className = 'verdal-window';
      container.append(frame);
      view.container = container;
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

  function onViewLoaded(view) {
    if (views.get(view.hwnd) !== view) return;
    view.doc = view.frame.contentDocument;
    view.doc.documentElement.dataset.media = view.media;
    view.ready = true;
    wireEvents(view);
    mountLists(view);
    attachNested(view);
    for (const op of view.pending) applyElementOp(view, op);
    view.pending = [];
    resized.delete(view);
    if (view.kind === 'dialog') {
      const heading = view.doc.querySelector('h1, h2, h3, h4, h5, h6');
      const label = view.doc.title || (heading && heading.textContent.trim());
      if (label) view.box.setAttribute('aria-label', label);
      sizeDialog(view);
      const first = view.doc.querySelector('button, input, select, textarea, [tabindex]');
      view.frame.focus();
      if (first) first.focus();
    }
    reportSize(view);
    document.body.dataset.views = String(views.size);
  }

  function closeView(hwnd) {
    const view = views.get(hwnd);
    if (!view) return;
    if (view.container) view.container.remove();
    views.delete(hwnd);
    updateInert();
    document.body.dataset.views = String(views.size);
  }

  // Everything below the topmost dialog is inert.
  function updateInert() {
    let top = 0;
    for (const view of views.values()) if (view.kind === 'dialog') top = Math.max(top, view.order);
    for (const view of views.values()) if (view.container) view.container.inert = view.order < top;
    const topView = [...views.values()].find((v) => v.order === top);
    if (topView && topView.ready) topView.frame.focus();
  }

  function pageSize(view) {
    const html = view.doc.documentElement;
    const saved = html.style.width;
    html.style.width = 'max-content';
    const width = Math.ceil(html.getBoundingClientRect().width);
    html.style.width = saved;
    return { width, height: Math.ceil(html.scrollHeight) };
  }

  function reportSize(view) {
    if (!view.doc) return;
    const size = pageSize(view);
    send({ t: 'size', hwnd: view.hwnd, w: size.width, h: size.height });
  }

  // A dialog takes its page's size and is centred on the window beneath, then kept inside the
  // visible area, the left and top edges winning when it does not fit.
  function sizeDialog(view) {
    if (!view.doc || view.dragged) return;
    let width = view.width, height = view.height;
    if (!width || !height) {
      view.frame.style.width = (width || 2000) + 'px';
      const size = pageSize(view);
      width = width || size.width;
      view.frame.style.width = width + 'px';
      // With no room of its own the document's scroll height is the page's own height.
      view.frame.style.height = '0px';
      height = height || Math.ceil(view.doc.documentElement.scrollHeight);
    }
    view.frame.style.width = width + 'px';
    view.frame.style.height = height + 'px';
    const areaWidth = window.innerWidth, areaHeight = window.innerHeight;
    let left = Math.round(areaWidth / 2 - width / 2);
    let top = Math.round(areaHeight / 2 - height / 2);
    if (left + width > areaWidth) left = areaWidth - width;
    if (top + height > areaHeight) top = areaHeight - height;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    view.box.style.left = left + 'px';
    view.box.style.top = top + 'px';
  }

  // ---- Events from pages -----------------------------------------------------------------

  function position(view, event) {
    if (typeof event.clientX !== 'number') return {};
    const rect = view.frame.getBoundingClientRect();
    return { x: Math.round(rect.left + event.clientX), y: Math.round(rect.top + event.clientY) };
  }

  function controlState(element) {
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

  function target(event) {
    const element = event.target && event.target.closest ? event.target.closest('[data-v]') : null;
    if (!element || element.closest('.verdal-lv')) return null;
    return element;
  }

  function elementMessage(view, type, element, event, extra) {
    return Object.assign({ t: type, hwnd: view.hwnd, id: Number(element.dataset.v) },
                         position(view, event), controlState(element), extra || {});
  }

  function wireEvents(view) {
    const doc = view.doc;
    doc.addEventListener('submit', (event) => event.preventDefault(), true);
    doc.addEventListener('click', (event) => {
      const link = event.target.closest && event.target.closest('a[href]');
      if (link) event.preventDefault();
      const element = target(event);
      if (element) send(elementMessage(view, 'click', element, event));
    });
    doc.addEventListener('change', (event) => {
      const element = target(event);
      if (element && element.tagName === 'SELECT') send(elementMessage(view, 'change', element, event));
    });
    doc.addEventListener('input', (event) => {
      const element = target(event);
      if (element && element.tagName !== 'SELECT' && element.type !== 'checkbox' &&
          element.type !== 'radio') send(elementMessage(view, 'input', element, event));
    });
    doc.addEventListener('keydown', (event) => {
      if (event.key.length === 1 && !event.ctrlKey && !event.altKey) return;
      if (['Shift', 'Control', 'Alt', 'Meta'].includes(event.key)) return;
      const element = target(event) || doc.body.closest('[data-v]') || doc.body;
      if (!element.dataset.v) return;
      const alt = (event.ctrlKey ? 1 : 0) | (event.shiftKey ? 2 : 0) | (event.altKey ? 4 : 0);
      send(Object.assign({ t: 'key', hwnd: view.hwnd, id: Number(element.dataset.v),
                           key: event.keyCode, alt }, controlState(element)));
    });
    doc.addEventListener('contextmenu', (event) => {
      if (!event.target.closest || !event.target.closest('.verdal-lv')) event.preventDefault();
    });
    doc.addEventListener('mousedown', (event) => {
      if (menu && event.button === 0) closeMenu(true);
      if (view.kind === 'dialog' && view.band && view.band[0] > 0) startDrag(view, event);
    });
  }

  // A dialog with a band is dragged by it.
  function startDrag(view, event) {
    const width = view.frame.getBoundingClientRect().width;
    if (event.button !== 0 || event.clientY >= view.band[0] || event.clientX >= width - view.band[1]) return;
    event.preventDefault();
    const startX = event.screenX, startY = event.screenY;
    const left = parseInt(view.box.style.left, 10) || 0, top = parseInt(view.box.style.top, 10) || 0;
    view.box.classList.add('dragging');
    const move = (e) => {
      view.dragged = true;
      view.box.style.left = left + e.screenX - startX + 'px';
      view.box.style.top = top + e.screenY - startY + 'px';
    };
    const up = () => {
      view.box.classList.remove('dragging');
      for (const target of [document, view.doc]) {
        target.removeEventListener('mousemove', move);
        target.removeEventListener('mouseup', up);
      }
    };
    for (const target of [document, view.doc]) {
      target.addEventListener('mousemove', move);
      target.addEventListener('mouseup', up);
    }
  }

  // ---- Report list view ------------------------------------------------------------------

  const LVS_SINGLESEL = 0x4, LVS_NOCOLUMNHEADER = 0x4000, LVS_EX_GRIDLINES = 0x1;

  function setList(op) {
    const old = lists.get(op.hwnd);
    const model = Object.assign(old || { hwnd: op.hwnd, focus: -1, anchor: -1 }, {
      style: op.style, exStyle: op.exStyle, rowHeight: op.rowHeight || 24,
      columns: op.columns, rows: op.rows, selected: new Set(op.sel), colors: op.colors,
    });
    lists.set(op.hwnd, model);
    if (!model.ui || !model.ui.root.isConnected) {
      for (const view of views.values()) if (view.ready) mountLists(view);
    } else {
      layoutList(model);
    }
  }

  function setRows(op) {
    const model = lists.get(op.hwnd);
    if (!model) return;
    model.rows.length = Math.min(model.rows.length, op.start);
    for (const row of op.rows) model.rows.push(row);
    model.rows.length = op.count;
    const ui = model.ui;
    if (!ui) return;
    // A search sends its rows in many batches: each only lengthens the list, and the rows in
    // sight are drawn once a frame, without measuring the page per batch.
    sizeRows(model);
    scheduleRender(model);
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

  function setSelection(op) {
    const model = lists.get(op.hwnd);
    if (!model) return;
    model.selected = new Set(op.sel);
    if (model.ui) renderRows(model);
  }

  function mountLists(view) {
    for (const widget of view.doc.querySelectorAll('widget[data-hwnd]')) {
      const model = lists.get(Number(widget.dataset.hwnd));
      if (model && (!model.ui || model.ui.widget !== widget || !model.ui.root.isConnected)) {
        buildList(model, widget, view);
      }
    }
  }

  function buildList(model, widget, view) {
    const doc = widget.ownerDocument;
    widget.textContent = '';
    const root = doc.createElement('div');
    root.className = 'verdal-lv';
    root.setAttribute('role', 'grid');
    const head = doc.createElement('div');
    head.className = 'verdal-lv-head';
    const headRow = doc.createElement('div');
    headRow.className = 'verdal-lv-headrow';
    headRow.setAttribute('role', 'row');
    headRow.setAttribute('aria-rowindex', '1');
    head.append(headRow);
    // The rows' scroller takes the focus, so that Tab reaches the list and the arrow keys move
    // in it, and a keyboard can scroll what it scrolls.
    const body = doc.createElement('div');
    body.className = 'verdal-lv-body';
    body.setAttribute('role', 'rowgroup');
    body.tabIndex = 0;
    const spacer = doc.createElement('div');
    spacer.className = 'verdal-lv-spacer';
    body.append(spacer);
    root.append(head, body);
    widget.append(root);
    model.ui = { widget, root, head, headRow, body, spacer, view, pool: [], frame: 0 };

    body.addEventListener('scroll', () => {
      headRow.style.transform = `translateX(${-body.scrollLeft}px)`;
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
      send(Object.assign({ t: 'lvrclick', hwnd: model.hwnd, item: index }, position(view, event)));
    });
    root.addEventListener('keydown', (event) => listKey(model, event));
    new view.frame.contentWindow.ResizeObserver(() => renderRows(model)).observe(body);
    layoutList(model);
  }

  function layoutList(model) {
    const ui = model.ui;
    if (!ui) return;
    ['--lv-bg', '--lv-outer', '--lv-inner', '--lv-top', '--lv-bottom'].forEach(
      (name, i) => ui.root.style.setProperty(name, model.colors[i]));
    ui.root.classList.toggle('verdal-lv-grid', (model.exStyle & LVS_EX_GRIDLINES) !== 0);
    ui.root.classList.toggle('verdal-lv-nohead', (model.style & LVS_NOCOLUMNHEADER) !== 0);
    ui.root.setAttribute('aria-multiselectable', String((model.style & LVS_SINGLESEL) === 0));
    ui.root.setAttribute('aria-colcount', String(model.columns.length));
    const label = ui.widget.getAttribute('aria-label') || ui.widget.id;
    if (label) ui.root.setAttribute('aria-label', label);
    ui.headRow.textContent = '';
    let total = 0;
    for (const column of model.columns) {
      const cell = ui.root.ownerDocument.createElement('div');
      cell.className = 'verdal-lv-hcell';
      cell.setAttribute('role', 'columnheader');
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

  // Only the rows in sight exist in the page.
  function renderRows(model) {
    const ui = model.ui;
    if (!ui || !ui.root.isConnected) return;
    const height = model.rowHeight;
    const first = Math.max(0, Math.floor(ui.body.scrollTop / height) - 2);
    const last = Math.min(model.rows.length, Math.ceil((ui.body.scrollTop + ui.body.clientHeight) / height) + 2);
    const needed = Math.max(0, last - first);
    const doc = ui.root.ownerDocument;
    while (ui.pool.length < needed) {
      const row = doc.createElement('div');
      row.className = 'verdal-lv-row';
      row.setAttribute('role', 'row');
      ui.spacer.append(row);
      ui.pool.push(row);
    }
    while (ui.pool.length > needed) ui.pool.pop().remove();
    for (let k = 0; k < needed; k++) {
      const index = first + k;
      const row = ui.pool[k];
      const texts = model.rows[index] || [];
      if (row.dataset.index !== String(index) || row.dataset.texts !== texts.join('\u0001') ||
          row.childElementCount !== model.columns.length) {
        row.dataset.index = String(index);
        row.dataset.texts = texts.join('\u0001');
        row.textContent = '';
        model.columns.forEach((column, i) => {
          const cell = doc.createElement('div');
          cell.className = 'verdal-lv-cell';
          cell.setAttribute('role', 'gridcell');
          cell.style.width = column.width + 'px';
          cell.textContent = texts[i] || '';
          row.append(cell);
        });
      }
      row.style.top = index * height + 'px';
      row.style.height = height + 'px';
      row.style.width = model.totalWidth + 'px';
      row.setAttribute('aria-rowindex', String(index + 2));
      row.setAttribute('aria-selected', String(model.selected.has(index)));
      row.classList.toggle('focused', index === model.focus);
      row.id = `lv${model.hwnd}-${index}`;
    }
    // Screen readers follow the focused row.
    const focused = model.focus >= first && model.focus < last ? `lv${model.hwnd}-${model.focus}` : null;
    if (focused) ui.root.setAttribute('aria-activedescendant', focused);
    else ui.root.removeAttribute('aria-activedescendant');
  }

  function rowAt(model, event) {
    const rect = model.ui.body.getBoundingClientRect();
    const y = event.clientY - rect.top + model.ui.body.scrollTop;
    const index = Math.floor(y / model.rowHeight);
    return index >= 0 && index < model.rows.length ? index : -1;
  }

  function sendSelection(model) {
    send({ t: 'lvsel', hwnd: model.hwnd, sel: [...model.selected].sort((a, b) => a - b),
           focus: model.focus });
    renderRows(model);
  }

  function selectOnly(model, index) {
    model.selected = new Set(index >= 0 ? [index] : []);
    model.focus = index;
    model.anchor = index;
    sendSelection(model);
  }

  function clickRow(model, index, event) {
    const single = (model.style & LVS_SINGLESEL) !== 0;
    if (index < 0) return selectOnly(model, -1);
    if (!single && event.shiftKey && model.anchor >= 0) {
      const [a, b] = [Math.min(model.anchor, index), Math.max(model.anchor, index)];
      model.selected = new Set(event.ctrlKey ? model.selected : []);
      for (let i = a; i <= b; i++) model.selected.add(i);
      model.focus = index;
      return sendSelection(model);
    }
    if (!single && (event.ctrlKey || event.metaKey)) {
      if (model.selected.has(index)) model.selected.delete(index);
      else model.selected.add(index);
      model.focus = index;
      model.anchor = index;
      return sendSelection(model);
    }
    selectOnly(model, index);
  }

  function listKey(model, event) {
    const count = model.rows.length;
    if (!count) return;
    const page = Math.max(1, Math.floor(model.ui.body.clientHeight / model.rowHeight) - 1);
    let index = model.focus;
    switch (event.key) {
      case 'ArrowDown': index = Math.min(count - 1, index + 1); break;
      case 'ArrowUp': index = Math.max(0, index - 1); break;
      case 'PageDown': index = Math.min(count - 1, index + page); break;
      case 'PageUp': index = Math.max(0, index - page); break;
      case 'Home': index = 0; break;
      case 'End': index = count - 1; break;
      case 'ContextMenu':
      case 'F10': {
        if (event.key === 'F10' && !event.shiftKey) return;
        event.preventDefault();
        const rect = model.ui.body.getBoundingClientRect();
        const frame = model.ui.view.frame.getBoundingClientRect();
        const y = Math.max(0, model.focus) * model.rowHeight - model.ui.body.scrollTop + model.rowHeight / 2;
        send({ t: 'lvrclick', hwnd: model.hwnd, item: model.focus,
               x: Math.round(frame.left + rect.left + 20), y: Math.round(frame.top + rect.top + (y || 12)) });
        return;
      }
      default: return;
    }
    event.preventDefault();
    if (index < 0) index = 0;
    if (event.shiftKey && (model.style & LVS_SINGLESEL) === 0 && model.anchor >= 0) {
      const [a, b] = [Math.min(model.anchor, index), Math.max(model.anchor, index)];
      model.selected = new Set();
      for (let i = a; i <= b; i++) model.selected.add(i);
      model.focus = index;
      sendSelection(model);
    } else {
      selectOnly(model, index);
    }
    const top = index * model.rowHeight, body = model.ui.body;
    if (top < body.scrollTop) body.scrollTop = top;
    else if (top + model.rowHeight > body.scrollTop + body.clientHeight) {
      body.scrollTop = top + model.rowHeight - body.clientHeight;
    }
  }

  // ---- Popup menus -----------------------------------------------------------------------

  function showMenu(op) {
    closeMenu(false);
    const element = document.createElement('div');
    element.className = 'verdal-menu';
    element.setAttribute('role', 'menu');
    if (op.title) element.setAttribute('aria-label', op.title);
    element.tabIndex = -1;
    for (const item of op.items) {
      const entry = document.createElement('div');
      if (item.sep) {
        entry.setAttribute('role', 'separator');
      } else {
        entry.setAttribute('role', 'menuitem');
        entry.setAttribute('aria-disabled', String(item.dis));
        entry.tabIndex = -1;
        entry.textContent = item.text;
        entry.addEventListener('click', () => { if (!item.dis) choose(item.id); });
      }
      element.append(entry);
    }
    element.addEventListener('keydown', (event) => {
      const entries = [...element.querySelectorAll('[role=menuitem]')];
      const at = entries.indexOf(document.activeElement);
      if (event.key === 'ArrowDown') entries[(at + 1) % entries.length].focus();
      else if (event.key === 'ArrowUp') entries[(at - 1 + entries.length) % entries.length].focus();
      else if (event.key === 'Escape' || event.key === 'Tab') closeMenu(true);
      else if (event.key === 'Enter' || event.key === ' ') {
        const item = op.items.filter((i) => !i.sep)[at];
        if (item && !item.dis) choose(item.id);
      } else return;
      event.preventDefault();
    });
    document.body.append(element);
    const width = element.offsetWidth, height = element.offsetHeight;
    element.style.left = Math.max(0, Math.min(op.x, window.innerWidth - width)) + 'px';
    element.style.top = Math.max(0, Math.min(op.y, window.innerHeight - height)) + 'px';
    menu = { element, token: op.token };
    const first = element.querySelector('[role=menuitem][aria-disabled=false]') ||
                  element.querySelector('[role=menuitem]');
    (first || element).focus();
  }

  function choose(id) {
    if (!menu) return;
    send({ t: 'menu', token: menu.token, cmd: id });
    closeMenu(false);
  }

  function closeMenu(tell) {
    if (!menu) return;
    if (tell) send({ t: 'menu', token: menu.token, cmd: 0 });
    menu.element.remove();
    menu = null;
  }

  document.addEventListener('mousedown', (event) => {
    if (menu && !menu.element.contains(event.target)) closeMenu(true);
  });

  // ---- Beep ------------------------------------------------------------------------------

  let audio = null;
  function beep() {
    document.body.dataset.beeps = String((Number(document.body.dataset.beeps) || 0) + 1);
    try {
      audio = audio || new AudioContext();
      if (audio.state === 'suspended') audio.resume();
      const tone = audio.createOscillator(), gain = audio.createGain();
      tone.frequency.value = 800;
      gain.gain.value = 0.08;
      tone.connect(gain).connect(audio.destination);
      tone.start();
      tone.stop(audio.currentTime + 0.15);
    } catch (error) {
      // No audio device: the beep is only counted.
    }
  }

  window.addEventListener('resize', () => {
    for (const view of views.values()) if (view.kind === 'dialog') sizeDialog(view);
  });

  window.verdal = { views, lists, patches: () => patchCount };
  connect();
})();
