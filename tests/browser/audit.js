// An accessibility audit of what a page shows: axe-core's WCAG 2.1 A and AA rules run in the
// shell and in every view's frame (each document on its own, as a screen reader meets it).
import fs from 'node:fs';
import {createRequire} from 'node:module';

const AXE = fs.readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
const TAGS = ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'];

// Runs axe in one document, the script given as text (so that a WebDriver client can send it
// too); answers the violations as plain objects: rule id and the selectors of the elements.
export const AUDIT = `${AXE}
;return axe.run(document, { runOnly: { type: 'tag', values: ${
    JSON.stringify(TAGS)} }, iframes: false })
  .then((result) => result.violations.map((v) => ({ id: v.id, nodes: v.nodes.map((n) => n.target.join(' ')) })));`;

// Every frame of a Playwright page, audited; answers "rule: elements" lines, none when it passes.
export async function auditPage(page) {
    const found = [];
    for (const frame of page.frames()) {
        const violations = await frame.evaluate(new Function(AUDIT));
        for (const v of violations) found.push(`${v.id}: ${v.nodes.join(', ')}`);
    }
    return found;
}
