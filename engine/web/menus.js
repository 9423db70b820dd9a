// The popup menu: one at a time, above everything, chosen by mouse or keyboard. Its choice, or
// that it closed without one, goes back to the program under the menu's token.
import {send} from './connection.js';
import {MSG_MENU} from './protocol.js';

let menu = null; // the popup menu on screen

export const menuOpen = () => menu !== null;

export function showMenu(op) {
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
            entry.addEventListener('click', () => {
                if (!item.dis) choose(item.id);
            });
        }
        element.append(entry);
    }
    element.addEventListener('keydown', (event) => {
        const entries = [...element.querySelectorAll('[role=menuitem]')];
        const at = entries.indexOf(document.activeElement);
        if (event.key === 'ArrowDown')
            entries[(at + 1) % entries.length].focus();
        else if (event.key === 'ArrowUp')
            entries[(at - 1 + entries.length) % entries.length].focus();
        else if (event.key === 'Escape' || event.key === 'Tab')
            closeMenu(true);
        else if (event.key === 'Enter' || event.key === ' ') {
            const item = op.items.filter((i) => !i.sep)[at];
            if (item && !item.dis) choose(item.id);
        } else
            return;
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
    send({ t: MSG_MENU, token: menu.token, cmd: id });
    closeMenu(false);
}

// tell: whether the program hears that the menu closed without a choice.
export function closeMenu(tell) {
    if (!menu) return;
    if (tell) send({ t: MSG_MENU, token: menu.token, cmd: 0 });
    menu.element.remove();
    menu = null;
}

document.addEventListener('mousedown', (event) => {
    if (menu && !menu.element.contains(event.target)) closeMenu(true);
});
