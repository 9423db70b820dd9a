// The wire protocol's two sides: engine.js, as the program serves it, handles every operation of
// the table and sends every message of it, and uses no name the table lacks.
#include "engine/embedded.h"
#include "engine/protocol.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

const verdal::EmbeddedFile* EngineWebFiles(std::size_t& count);

namespace {

std::string ServedScript() {
    std::size_t count = 0;
    const verdal::EmbeddedFile* files = EngineWebFiles(count);
    for (std::size_t i = 0; i < count; ++i)
        if (std::string(files[i].name) == "engine.js")
            return std::string(reinterpret_cast<const char*>(files[i].data), files[i].size);
    return {};
}

// The first group of every match of the pattern in the text.
std::set<std::string> Matches(const std::string& text, const char* pattern) {
    std::set<std::string> names;
    const std::regex expression(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), expression), end; it != end; ++it)
        names.insert((*it)[1]);
    return names;
}

template <class Table> std::set<std::string> Names(const Table& table) {
    std::set<std::string> names;
    for (const auto& entry : table)
        names.emplace(entry.name);
    return names;
}

} // namespace

TEST(EngineProtocol, TheScriptSpeaksTheTablesOfTheProgram) {
    const std::string script = ServedScript();
    ASSERT_FALSE(script.empty());
    const std::size_t apply = script.find("function applyOp(op)");
    ASSERT_NE(apply, std::string::npos);
    const std::string applyOp = script.substr(apply, script.find("\n  }\n", apply) - apply);

    std::set<std::string> handled = Matches(applyOp, R"(case '(\w+)':)");
    handled.merge(Matches(script, R"(op\.o === '(\w+)')"));
    EXPECT_EQ(handled, Names(verdal::engine::protocol::kOperations));

    std::set<std::string> sent = Matches(script, R"(\bt: '(\w+)')");
    sent.merge(Matches(script, R"(elementMessage\(view, '(\w+)')"));
    EXPECT_EQ(sent, Names(verdal::engine::protocol::kMessages));

    EXPECT_EQ(Matches(script, R"(message\.t === '(\w+)')"),
              (std::set<std::string>{std::string(verdal::engine::protocol::kStateMessage),
                                     std::string(verdal::engine::protocol::kPatchMessage)}));
}
