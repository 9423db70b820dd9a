// The program's resource table: pages, menus and images compiled into the executable (res/ and
// cmake/VerdalEmbed.cmake), looked up by type and by numeric id or name.
//
// A compiled-in file's name says what it is: "201.html" is the page (RT_HTML) with id 201,
// "206.menu" the menu (RT_MENU) with id 206, "titlebk.png" the resource named "TITLEBK" of the
// string type "PNG". Names and string types compare without regard to ASCII case; a name
// "#201" means the id 201.
//
// A menu resource is text in the layout of a resource script:
//     POPUP "GOLF"
//     MENUITEM "Add to Device", 32776
//     MENUITEM SEPARATOR
//     MENUITEM "Course Information", 32786, GRAYED
//
// Threads: registration runs while the program starts; lookups from any thread afterwards.
#pragma once

#include "engine/embedded.h"
#include "engine/menu.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace verdal {

inline constexpr int RT_MENU = 4;
inline constexpr int RT_HTML = 23;

struct ResourceData {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Adds compiled-in files to the table; answers true (used by the generated sources).
bool RegisterResourceFiles(const EmbeddedFile* files, std::size_t count);

// By numeric id and numeric type. False when there is none.
bool FindResource(int id, int type, ResourceData& out);
// By name (or "#id") and type: a numeric type, or a string type when typeName is not empty.
bool FindResource(std::string_view name, int type, std::string_view typeName, ResourceData& out);

// Loads a menu resource: a menu whose popups hold the entries, in the session's language (see
// ui/page_text.h). Nothing when the resource is missing or unreadable.
std::optional<engine::Menu> LoadMenu(int id);
// Reads the text of a menu resource; nothing when it has no popup.
std::optional<engine::Menu> ParseMenu(std::string_view text);

} // namespace verdal
