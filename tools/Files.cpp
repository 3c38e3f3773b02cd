#include "Files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Engine.h"

namespace vmlctl {

namespace {

std::string Problem(const std::string& path, int error) {
  return path + ": " + std::strerror(error != 0 ? error : EIO);
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// fopen opens a folder for reading without complaint; the read would fail later.
std::FILE* Open(const std::string& path, const char* mode, int* error) {
  errno = 0;
  if (IsDirectory(path)) {
    *error = EISDIR;
    return nullptr;
  }
  std::FILE* file = std::fopen(path.c_str(), mode);
  *error = file == nullptr ? errno : 0;
  return file;
}

}  // namespace

std::string ReadProblem(const std::string& path) {
  int error = 0;
  std::FILE* file = Open(path, "rb", &error);
  if (file == nullptr) return Problem(path, error);
  std::fclose(file);
  return {};
}

std::string WriteProblem(const std::string& path) {
  if (IsDirectory(path)) return Problem(path, EISDIR);
  const std::string temporary = path + ".tmp";
  struct stat info {};
  const bool existed = ::stat(temporary.c_str(), &info) == 0;
  int error = 0;
  std::FILE* file = Open(temporary, "ab", &error);
  // The temporary's name is ours; its folder's reason is the path's.
  if (file == nullptr) return Problem(path, error);
  std::fclose(file);
  if (!existed) std::remove(temporary.c_str());
  return {};
}

std::string MakeDirectory(const std::string& dir) {
  // A file where the folder should be reads the same whichever step meets it.
  struct stat info {};
  if (::stat(dir.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) return Problem(dir, ENOTDIR);
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (IsDirectory(dir)) return {};
  return Problem(dir, error ? error.value() : ENOTDIR);
}

bool ReadText(const std::string& path, std::string* text, std::string* problem) {
  int error = 0;
  std::FILE* file = Open(path, "rb", &error);
  if (file == nullptr) {
    *problem = Problem(path, error);
    return false;
  }
  text->clear();
  char buffer[8192];
  std::size_t got = 0;
  // Bounded: a document or an inventory is kilobytes, and /dev/zero is not one.
  bool tooLong = false;
  while (!tooLong && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text->append(buffer, got);
    tooLong = text->size() > vmlcmd::config::kLongestDocument;
  }
  const bool failed = std::ferror(file) != 0;
  error = errno;
  std::fclose(file);
  if (failed) *problem = Problem(path, error);
  if (tooLong) {
    *problem = path + ": longer than " + std::to_string(vmlcmd::config::kLongestDocument) +
               " bytes, the most a document may hold";
    text->clear();
  }
  return !failed && !tooLong;
}

bool WriteText(const std::string& path, const std::string& text, std::string* problem) {
  const std::string temporary = path + ".tmp";
  int error = 0;
  std::FILE* file = Open(temporary, "wb", &error);
  if (file == nullptr) {
    *problem = Problem(path, error);
    return false;
  }
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  error = errno;
  const bool closed = std::fclose(file) == 0;
  if (!closed && error == 0) error = errno;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    *problem = Problem(path, error);
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
    std::remove(temporary.c_str());
    *problem = Problem(path, error);
    return false;
  }
  return true;
}

}  // namespace vmlctl
