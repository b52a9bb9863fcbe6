// Reading typed lines and splitting one line into the command word and its arguments.
// ReadLine touches only the stream it is given; SplitCommandLine is a pure function of the
// line (it is what a fuzz target feeds). Neither keeps state; not for concurrent use of one
// ArgList.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "arglist.h"

// Buffer sizes, the terminating zero included.
inline constexpr std::size_t kCommandBufferSize = 2048;
inline constexpr std::size_t kExtensionBufferSize = 31;
// A command word and an extension hold at most this many characters.
inline constexpr std::size_t kMaxWordLength = 31;

// Reads characters up to a line feed (not stored) or until cbBuffer - 1 of them are held; the
// rest of an over-long line, up to and including its line feed, is read and discarded.
// Returns false only at end of input with nothing read.
bool ReadLine(std::FILE* pFile, std::size_t cbBuffer, std::string& strLine);

// Splits strLine at spaces, tabs and line feeds. The first token, lower-cased and cut to
// kMaxWordLength characters, becomes strWord; args is cleared and receives every further token
// in order, case kept (ArgList keeps the first 100). Returns false for a blank line.
bool SplitCommandLine(std::string_view strLine, std::string& strWord, ArgList& args);
