// The wire's names as a JavaScript module, made by the compiler from the tables of
// engine/protocol.h and served as "/protocol.js", so that the page script and the program speak
// from one source. For each operation the module exports OP_<NAME> (OP_VIEW = "view"), for each
// message MSG_<NAME> (MSG_LVSEL = "lvsel"), the two message kinds of the program as
// STATE_MESSAGE and PATCH_MESSAGE, and OPERATIONS, every operation's name. Importing a name the
// tables lack stops the page script from loading at all.
//
// Threads: any; the text is constant.
#pragma once

#include <string_view>

namespace verdal::engine {

inline constexpr std::string_view kProtocolModuleName = "protocol.js";

std::string_view ProtocolModule();

} // namespace verdal::engine
