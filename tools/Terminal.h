// Texts between the library and the terminal. The tool works in UTF-8 throughout; the library
// hands out its texts in the host's text encoding, which on Windows is the ANSI code page
// (GBK under code page 936), and a Windows console shows its own code page unless told.
#pragma once

#include <string>

namespace vmlctl {

// A text from the library (GetErrorText) in UTF-8.
std::string LibraryTextToUtf8(const char* text);

// Makes the terminal show the tool's UTF-8 output; put back when the program ends.
void PrepareTerminal();

// True when the error stream is a terminal that can redraw a line in place (carriage return and
// the erase-line sequence), made ready for it.
bool PrepareProgressDisplay();

}  // namespace vmlctl
