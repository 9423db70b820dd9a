// The engine object of a test program that shows pages: made before its first test, as verdal
// makes it before its windows, and gone after the last.
#pragma once

#include "engine/engine_object.h"

namespace verdal::test {

engine::Engine& TestEngine();

} // namespace verdal::test
