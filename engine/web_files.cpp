// The engine's served files and their media types.
#include "engine/web_files.h"

#include "engine/dom.h"
#include "engine/protocol_module.h"
#include "platform/text.h"

#include <vector>

const verdal::EmbeddedFile* EngineWebFiles(std::size_t& count);

namespace verdal::engine {

std::span<const EmbeddedFile> WebFiles() {
    static const std::vector<EmbeddedFile> files = [] {
        std::size_t count = 0;
        const EmbeddedFile* embedded = EngineWebFiles(count);
        std::vector<EmbeddedFile> all(embedded, embedded + count);
        const std::string_view module = ProtocolModule();
        all.push_back({kProtocolModuleName.data(),
                       reinterpret_cast<const unsigned char*>(module.data()), module.size()});
        return all;
    }();
    return files;
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
