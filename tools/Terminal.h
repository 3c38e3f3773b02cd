// The terminal the tool writes to. The tool works in UTF-8 throughout (result texts come from
// its own table, not from the library's host code page), and a Windows console shows its own
// code page unless told.
#pragma once

namespace vmlctl {

// Makes the terminal show the tool's UTF-8 output; put back when the program ends.
void PrepareTerminal();

// False when the tool was started with its standard output closed: results could not be
// written, and a socket or file opened later would take the output's descriptor.
bool OutputOpen();

// True when the error stream is a terminal that can redraw a line in place (carriage return and
// the erase-line sequence), made ready for it.
bool PrepareProgressDisplay();

}  // namespace vmlctl
