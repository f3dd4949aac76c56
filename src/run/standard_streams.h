// Where the converter's standard output and error go.
#pragma once

// The converter is a windowed program on Windows, started with no console of its own: the
// handles its parent passed (pipes, files) are used as they are, and only when it has none
// are they connected to the parent's console, if the parent has one. Nothing on POSIX.
void ConnectStandardStreams();
