// Modal dialogs: the overlay that holds one, its size and place on the window beneath, and the
// drag by its band.

// The overlay and the box a dialog's frame is shown in; a click beside the dialog leaves the
// focus in it.
export function dialogContainer(view, frame) {
    const overlay = document.createElement('div');
    overlay.className = 'verdal-overlay';
    const box = document.createElement('div');
    box.className = 'verdal-dialog';
    box.setAttribute('role', 'dialog');
    box.setAttribute('aria-modal', 'true');
    box.append(frame);
    overlay.append(box);
    overlay.addEventListener('mousedown', (event) => {
        if (event.target === overlay) event.preventDefault();
    });
    view.container = overlay;
    view.box = box;
}

// The size a view's page needs.
export function pageSize(view) {
    const html = view.doc.documentElement;
    const saved = html.style.width;
    html.style.width = 'max-content';
    const width = Math.ceil(html.getBoundingClientRect().width);
    html.style.width = saved;
    return { width, height: Math.ceil(html.scrollHeight) };
}

// A dialog takes its page's size and is centred on the window beneath, then kept inside the
// visible area, the left and top edges winning when it does not fit.
export function sizeDialog(view) {
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

// A dialog with a band ([height, right margin]) is dragged by it; once dragged it keeps its
// place.
export function startDrag(view, event) {
    const width = view.frame.getBoundingClientRect().width;
    if (event.button !== 0 || event.clientY >= view.band[0] ||
        event.clientX >= width - view.band[1])
        return;
    event.preventDefault();
    const startX = event.screenX, startY = event.screenY;
    const left = parseInt(view.box.style.left, 10) || 0;
    const top = parseInt(view.box.style.top, 10) || 0;
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
