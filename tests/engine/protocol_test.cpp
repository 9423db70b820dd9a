// The wire protocol's two sides: engine.js, as the program serves it, handles every operation of
// the table and sends every message of it, and uses no name the table lacks.
#include "engine/protocol.h"
#include "engine/web_files.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

namespace {

std::string ServedScript() {
    const verdal::EmbeddedFile* script = verdal::engine::FindWebFile("engine.js");
    return script ? std::string(reinterpret_cast<const char*>(script->data), script->size) : "";
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
