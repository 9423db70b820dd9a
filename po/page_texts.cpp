// verdal-page-texts: the texts of the program's pages and menus as entries of a gettext template,
// for po/verdal.pot (xgettext reads neither). Each file named on the command line is a page
// (.html) or a menu (.menu); its texts are those that the program translates as it loads it
// (ui/page_text.h). Writes the entries to standard output, each text once, with the files that
// hold it; exit code 1 when a file cannot be read.
#include "engine/dom.h"
#include "platform/file.h"
#include "ui/page_text.h"
#include "ui/resources.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// A text as a PO string: quoted, with backslashes, quotes and line ends escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out + "\"";
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> files;
    const auto collect = [&](const std::string& file) {
        return [&, file](const std::string& text) {
            auto [it, added] = files.try_emplace(text);
            if (added)
                order.push_back(text);
            if (it->second.empty() || it->second.back() != file)
                it->second.push_back(file);
            return text;
        };
    };
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        std::string bytes;
        if (verdal::ReadWholeFile(path, bytes)) {
            std::fprintf(stderr, "verdal-page-texts: cannot read %s\n", path.c_str());
            return 1;
        }
        // References name the file from the tree's top (res/pages/201.html).
        const std::size_t res = path.rfind("res/");
        const std::string name = res == std::string::npos ? path : path.substr(res);
        if (path.size() > 5 && path.compare(path.size() - 5, 5, ".menu") == 0) {
            if (auto menu = verdal::ParseMenu(bytes))
                verdal::RewriteMenuTexts(*menu, collect(name));
        } else {
            const verdal::engine::Document page(bytes);
            verdal::RewritePageTexts(page.Root(), collect(name));
        }
    }
    std::printf("msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n");
    for (const std::string& text : order) {
        std::string references;
        for (const std::string& file : files[text])
            references += " " + file;
        std::printf("\n#:%s\nmsgid %s\nmsgstr \"\"\n", references.c_str(), Quoted(text).c_str());
    }
    return 0;
}
