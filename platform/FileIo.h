#pragma once
// Small portable file helpers: UTF-8 paths, 64-bit positions.

#include <cstdint>
#include <cstdio>
#include <string>

namespace torvane {

std::FILE* openFile(const std::string& utf8Path, const char* mode);
bool seekTo(std::FILE* f, std::uint64_t pos);
std::uint64_t tellPos(std::FILE* f);
// Length of an open file; the position is kept.
std::uint64_t fileLengthOf(std::FILE* f);
bool fileExists(const std::string& utf8Path);
// True for a regular file, or a link to one (not a device, a FIFO or a folder).
bool isRegularFile(const std::string& utf8Path);
// True when anything at all is there (a file, a folder, a device, a FIFO), following links.
bool pathExists(const std::string& utf8Path);
// The file name's extension with its dot, in lower case ASCII; empty when there is none.
std::string lowerExtension(const std::string& path);
bool removeFile(const std::string& utf8Path);
// Removes a file whose blocks may take long to free (an hour of audio): the name goes at once,
// the blocks are freed on another thread, so the caller never waits for the file system.
bool discardFile(const std::string& utf8Path);
// Renames (moves within one file system), replacing `to`.
bool renameFile(const std::string& from, const std::string& to);
std::int64_t fileSize(const std::string& utf8Path);  // -1 when missing

}  // namespace torvane
