// On POSIX the streams are the ones the process started with.
#include "run/standard_streams.h"

void ConnectStandardStreams() {}
