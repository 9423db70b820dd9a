// The engine's served files and their media types.
#include "engine/web_files.h"

#include "engine/dom.h"
#include "platform/text.h"

const verdal::EmbeddedFile* EngineWebFiles(std::size_t& count);

namespace verdal::engine {

std::span<const EmbeddedFile> WebFiles() {
    std::size_t count = 0;
    const EmbeddedFile* files = EngineWebFiles(count);
    return {files, count};
}

const EmbeddedFile* FindWebFile(std::string_view name) {
    for (const EmbeddedFile& file : WebFiles())
        if (name == file.name)
            return &file;
    return nullptr;
}

std::string_view MediaTypeOf(std::string_view name) {
    static constexpr struct {
        std::string_view extension, type;
    } kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".htm", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".png", "image/png"},
        {".svg", "image/svg+xml"},
        {".gif", "image/gif"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
    };
    for (const auto& [extension, type] : kTypes)
        if (name.size() >= extension.size() &&
            EqualsNoCase(name.substr(name.size() - extension.size()), extension))
            return type;
    return "application/octet-stream";
}

} // namespace verdal::engine
