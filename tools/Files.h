// The files vmlctl reads and writes, checked before any device is contacted, so a mistyped path
// costs nothing on the devices. Every problem is "PATH: the system's reason", as strerror says it.
#pragma once

#include <string>

namespace vmlctl {

// Empty when path can be opened for reading, else its problem.
std::string ReadProblem(const std::string& path);

// Empty when path can be written the way WriteText writes it (a temporary beside it, then a
// rename), else its problem. Leaves no file behind.
std::string WriteProblem(const std::string& path);

// Makes dir and its missing parents; empty when it is a folder afterwards, else its problem.
std::string MakeDirectory(const std::string& dir);

// False with problem filled.
bool ReadText(const std::string& path, std::string* text, std::string* problem);

// Through a temporary file and a rename, so a file is never left half-written.
bool WriteText(const std::string& path, const std::string& text, std::string* problem);

}  // namespace vmlctl
