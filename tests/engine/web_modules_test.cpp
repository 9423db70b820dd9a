// The page script's modules as the program serves them: every module a module imports is served,
// and the imports go one way, so no module imports, directly or through others, one that
// imports it.
#include "engine/web_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

using namespace verdal;

TEST(WebModules, ImportOneWayAndAreAllServed) {
    std::map<std::string, std::vector<std::string>> imports;
    const std::regex from(R"(from '\./([A-Za-z_]+\.js)')");
    for (const EmbeddedFile& file : engine::WebFiles()) {
        const std::string name = file.name;
        if (!name.ends_with(".js"))
            continue;
        const std::string text(reinterpret_cast<const char*>(file.data), file.size);
        auto& named = imports[name];
        for (std::sregex_iterator it(text.begin(), text.end(), from), end; it != end; ++it)
            named.push_back((*it)[1]);
    }
    ASSERT_TRUE(imports.count("engine.js"));

    // A depth-first walk from each module; a module met again on its own path is a cycle.
    std::set<std::string> done, path;
    std::function<void(const std::string&)> visit = [&](const std::string& module) {
        ASSERT_TRUE(engine::FindWebFile(module)) << module << " is imported but not served";
        if (done.count(module))
            return;
        ASSERT_TRUE(path.insert(module).second) << module << " imports itself through others";
        for (const std::string& imported : imports[module])
            visit(imported);
        path.erase(module);
        done.insert(module);
    };
    for (const auto& [module, _] : imports)
        visit(module);
}
