// Data paths as the game writes them ("Data\Textures\a.tga", any case) to
// files on disk: "\" separates components, and each component matches an
// entry of its folder without regard to case.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// The on-disk path of an existing regular file, or "" when there is none.
std::string ResolveExistingFile(const std::string& path);
// The on-disk path to create or replace a file at: existing folders and an
// existing file are matched without regard to case; a missing last component
// keeps its spelling. "" when a folder on the way does not exist.
std::string ResolveFileForWriting(const std::string& path);
// fopen through the resolver. Reading opens only regular files.
FILE* OpenFile(const std::string& path, const char* mode);

// Names that the game's data files and scripts give (sounds, music) are
// Windows-1251: on the disk a file is found under the name's UTF-8 spelling
// first, then under its bytes as they stand; a new file takes the UTF-8
// spelling.
std::string ResolveExistingCp1251File(const std::string& path);
FILE* OpenCp1251File(const std::string& path, const char* mode);

}  // namespace platform
