#pragma once
// Files and paths: the name parts of a path, reading a whole file, writing one so that
// a failed write leaves the previous file as it was.
#include <string>

// Reads a whole file into memory; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
bool FileExists(const std::string& path);  // an existing file that is not a directory
// Opens a regular file for reading; -1 for anything else (a pipe would block, a device
// might never end).
int OpenRegularFile(const std::string& path);
std::string ExtractFileName(const std::string& path);  // after the last '/' or '\'
std::string ExtractFileDir(const std::string& path);   // up to and including the last separator
std::string ExtractFileExt(const std::string& path);   // from the last '.' of the name, or empty

// Writes bytes to a temporary file in the folder of path, then renames it over path;
// the new file gets the permissions of the one it replaces, or the usual ones. Throws
// EInOutError ("Cannot write file PATH: reason") and leaves path as it was on failure.
void WriteFileReplacing(const std::string& path, const std::string& bytes);
