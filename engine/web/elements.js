// The program's elements as the pages' events find them: the element an event is about, the
// mouse position in the page, and a control's state. A leaf: it imports nothing.

// The page position of a mouse event in a view.
export function position(view, event) {
    if (typeof event.clientX !== 'number') return {};
    const rect = view.frame.getBoundingClientRect();
    return { x: Math.round(rect.left + event.clientX), y: Math.round(rect.top + event.clientY) };
}

// A form control's state: "checked" for a check box or radio button, "value" for the other
// controls, nothing for any other element.
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
