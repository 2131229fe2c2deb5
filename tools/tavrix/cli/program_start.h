// What differs between the systems as the program starts: how the arguments
// arrive, and whether the frame grabber's module can be found.
#pragma once

#include <string>
#include <vector>

namespace tavrix_tool {

// The arguments after the program's name, in UTF-8. On Windows they are
// taken from the wide command line (main's narrow argv holds the ANSI code
// page), and the console is set to show UTF-8 file names.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The frame grabber's module by the name the system's loader looks for.
extern const char* const kGrabberModuleName;

// Whether the frame grabber's module can be loaded. On Windows the library
// binds it late (delay-loaded), so that a missing module is this answer and
// one line, not the loader's dialog; on Linux the loader has bound it already.
bool GrabberModuleReachable();

}  // namespace tavrix_tool
