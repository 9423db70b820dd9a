// The files the engine serves, compiled into the program from engine/web/ and listed once, in
// engine/CMakeLists.txt, and the protocol module (engine/protocol_module.h): the shell page at
// "/", every other file at "/" and its name.
//
// Threads: any; the files are constant.
#pragma once

#include "engine/embedded.h"

#include <span>
#include <string_view>

namespace verdal::engine {

inline constexpr std::string_view kShellPage = "shell.html";

std::span<const EmbeddedFile> WebFiles();
// The file of that name; null when the program has none.
const EmbeddedFile* FindWebFile(std::string_view name);

// The Content-Type of a file, from its name's extension ("text/html; charset=utf-8" for
// "a.html"); application/octet-stream for one not known.
std::string_view MediaTypeOf(std::string_view name);

} // namespace verdal::engine
