// The test program's engine object, made and let go by a GoogleTest environment.
#include "tests/support/engine_environment.h"

#include "platform/window.h"

#include <gtest/gtest.h>

#include <optional>

namespace verdal::test {
namespace {

std::optional<engine::Engine> theEngine;

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        BindUiThread();
        theEngine.emplace();
    }
    void TearDown() override { theEngine.reset(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

} // namespace

engine::Engine& TestEngine() {
    return *theEngine;
}

} // namespace verdal::test
