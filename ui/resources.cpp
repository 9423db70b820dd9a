// The resource table: compiled-in files by type and id or name, and menus read from their text.
#include "ui/resources.h"

#include "engine/dom.h"
#include "platform/text.h"
#include "ui/page_text.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace verdal {

namespace {

struct Resource {
    int type = 0;         // numeric type, 0 for a string type
    std::string typeName; // upper case
    int id = 0;           // numeric id, 0 for a named resource
    std::string name;     // upper case
    ResourceData data;
};

bool AllDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

struct Table {
    std::mutex mutex;
    std::vector<Resource> resources;
};

// The number a name of digits stands for; 0, which names no resource, when it does not fit.
int ResourceNumber(std::string_view digits) {
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return error == std::errc() && end == digits.data() + digits.size() ? number : 0;
}

Table& TheTable() {
    static Table table;
    return table;
}

} // namespace

bool RegisterResourceFiles(const EmbeddedFile* files, std::size_t count) {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view file = files[i].name;
        const std::size_t dot = file.rfind('.');
        const std::string_view stem = file.substr(0, dot);
        const std::string extension =
            AsciiUpper(dot == std::string_view::npos ? "" : file.substr(dot + 1));
        Resource resource;
        if (extension == "HTML" || extension == "HTM")
            resource.type = RT_HTML;
        else if (extension == "MENU")
            resource.type = RT_MENU;
        else
            resource.typeName = extension;
        if (AllDigits(stem))
            resource.id = ResourceNumber(stem);
        else
            resource.name = AsciiUpper(stem);
        resource.data = ResourceData{files[i].data, files[i].size};
        table.resources.push_back(std::move(resource));
    }
    return true;
}

bool FindResource(int id, int type, ResourceData& out) {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    for (const Resource& resource : table.resources) {
        if (resource.id == id && id != 0 && resource.type == type && resource.typeName.empty()) {
            out = resource.data;
            return true;
        }
    }
    return false;
}

bool FindResource(std::string_view name, int type, std::string_view typeName, ResourceData& out) {
    if (name.size() > 1 && name[0] == '#' && AllDigits(name.substr(1)) && typeName.empty())
        return FindResource(ResourceNumber(name.substr(1)), type, out);
    const std::string wanted = AsciiUpper(name);
    const std::string wantedType = AsciiUpper(typeName);
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    for (const Resource& resource : table.resources) {
        if (resource.name.empty() || resource.name != wanted)
            continue;
        const bool typeMatches = wantedType.empty()
                                     ? resource.typeName.empty() && resource.type == type
                                     : resource.typeName == wantedType;
        if (typeMatches) {
            out = resource.data;
            return true;
        }
    }
    return false;
}

std::optional<engine::Menu> ParseMenu(std::string_view text) {
    engine::Menu bar;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && IsAsciiSpace(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && IsAsciiSpace(line.back()))
            line.remove_suffix(1);
        auto quoted = [&](std::string_view from, std::string& out) -> std::size_t {
            const std::size_t open = from.find('"');
            const std::size_t close =
                open == std::string_view::npos ? open : from.find('"', open + 1);
            if (close == std::string_view::npos)
                return std::string_view::npos;
            out = std::string(from.substr(open + 1, close - open - 1));
            return close + 1;
        };
        std::string label;
        if (line.rfind("POPUP", 0) == 0) {
            if (quoted(line, label) == std::string_view::npos)
                return std::nullopt;
            engine::Menu popup;
            popup.title = Utf8ToUtf16(label);
            bar.popups.push_back(std::move(popup));
        } else if (line.rfind("MENUITEM", 0) == 0) {
            if (bar.popups.empty())
                return std::nullopt;
            engine::MenuItem item;
            if (line.find("SEPARATOR") != std::string_view::npos) {
                item.separator = true;
            } else {
                const std::size_t after = quoted(line, label);
                if (after == std::string_view::npos)
                    return std::nullopt;
                std::string_view rest = line.substr(after);
                const std::size_t comma = rest.find(',');
                if (comma == std::string_view::npos)
                    return std::nullopt;
                item.text = Utf8ToUtf16(label);
                item.id = static_cast<unsigned>(
                    std::strtoul(std::string(rest.substr(comma + 1)).c_str(), nullptr, 10));
                item.disabled = rest.find("GRAYED") != std::string_view::npos ||
                                rest.find("INACTIVE") != std::string_view::npos;
            }
            bar.popups.back().items.push_back(std::move(item));
        }
    }
    if (bar.popups.empty())
        return std::nullopt;
    return bar;
}

std::optional<engine::Menu> LoadMenu(int id) {
    ResourceData data;
    if (!FindResource(id, RT_MENU, data))
        return std::nullopt;
    auto menu = ParseMenu(std::string_view(reinterpret_cast<const char*>(data.data), data.size));
    if (menu)
        TranslateMenu(*menu);
    return menu;
}

} // namespace verdal
