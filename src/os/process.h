#pragma once
// The program's own process: its arguments and its standard output, as the
// command-line tool needs them on every system.

#include "os/file.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zorv::os {

// What a shell reports for a program that a closed pipe ended (128 + SIGPIPE);
// the tool ends with it, quietly, when its reader goes away.
inline constexpr int kReaderGoneExit = 141;

// Called first in main(): a reader that goes away ends the writes with EPIPE
// (POSIX: SIGPIPE back to its default; Windows: the output untranslated, a
// console told to show UTF-8).
void prepareStandardStreams();
// The arguments after the program's name, in UTF-8.
std::vector<std::string> arguments(int argc, char** argv);

Handle standardOutput();
// All of `size` bytes to a stream (a pipe, a console, a file); false with
// errno set, EPIPE when the reader went away.
bool writeStream(Handle h, const void* data, std::size_t size);
// Closes `h`; false with errno set when the close reports a lost write.
bool closeStream(Handle h);

} // namespace zorv::os
