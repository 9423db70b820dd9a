// The texts of the program's pages and menus that are meant for a person, and their translation
// into the session's language as a page or menu is loaded, so that the resources stay the
// English pages they are. The same rule picks the texts for the catalogues' template
// (verdal-page-texts) and for translation, so the two never disagree.
//
// A page's texts: each text node (without the blanks around it) and the attributes aria-label,
// title, alt and placeholder, and the value of an input button, of every element in the body.
// Not its head (the title, the style), nor an element marked translate="no" with what it holds
// (the window's name "Verdal2012" in the dialogs' headings, the version, the port names), nor a
// text without a letter. An option's value is never touched: code compares it ("all", "USA").
// A menu's texts: its popups' titles and its entries.
//
// Threads: user-interface thread (documents), any thread (menus).
#pragma once

#include "engine/dom.h"
#include "engine/menu.h"

#include <functional>
#include <string>

namespace verdal {

// Visits the page's texts in document order; each becomes what visit answers for it (answering
// the text leaves it as it is). Meant for a document just loaded, before the browser has it:
// the changes are made in place, not recorded as patches.
void RewritePageTexts(const engine::Element& root,
                      const std::function<std::string(const std::string&)>& visit);
// The same for a menu's texts (UTF-16 in the menu, UTF-8 to visit).
void RewriteMenuTexts(engine::Menu& menu,
                      const std::function<std::string(const std::string&)>& visit);

// The page in the session's language: each text translated, and the root's lang attribute the
// language shown. With no catalogue in use the page stays byte for byte as it was.
void TranslatePage(const engine::Element& root);
void TranslateMenu(engine::Menu& menu);

} // namespace verdal
