// What the stand-in's entry point records about the process start.
#pragma once

namespace win32 {

// Builds the command line that GetCommandLineA returns, quoting as the Microsoft C runtime
// expects, so that splitting it gives the arguments back.
void SetProcessCommandLine(int argc, char** argv);

}  // namespace win32
