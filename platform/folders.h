// Local folders and files as the agent needs them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kestrune {

// Separator between folder names in a local path ("\\" on Windows, "/" elsewhere).
extern const char kPathSeparator[];

// The agent's root folder: drive of the Windows folder + ":\Melrova" on
// Windows; settings value "root", else $HOME/Melrova elsewhere.
std::string agentRootFolder();

// The current user's desktop folder as UTF-16, or empty when unknown.
std::u16string desktopFolder();

// Creates one folder level. True when the folder exists afterwards.
bool createFolder(const std::string& path);
// The same for a folder that only this user (and, on Windows, the
// administrators) may enter: the agent's root, which holds the year's
// expenses and the receipt images before they are sent. A folder that exists
// keeps its permissions.
bool createPrivateFolder(const std::string& path);
bool createFolder(const std::u16string& path);

// True when a file or folder exists at `path`.
bool pathExists(const std::string& path);

// What is at `path`, not following a link there: a regular file, nothing, or
// something else (a folder, a link, a pipe or device).
enum class PathKind { Missing, File, Other };
PathKind pathKind(const std::string& path);

// Replaces `to` by `from` in one step (both in the same folder). On failure
// `to` is unchanged and `error` says why.
bool replaceFile(const std::string& from, const std::string& to, std::string* error);

// The names in a folder, "." and ".." left out; empty when it cannot be read.
std::vector<std::string> folderEntries(const std::string& path);

// Removes a file; no error when it is missing.
void removeFile(const std::string& path);

// A new file beside `finalPath`, named finalPath + ".<unique>.tmp", made
// for this call only: never an existing file, never through a link, readable
// and writable by this user only where the system has file modes. Null with
// `error` set when it cannot be made.
std::FILE* createTemporaryFile(const std::string& finalPath, std::string* tempPath,
                               std::string* error);

// Opens `path` for appending, creating it readable by this user only; never
// through a link. `empty`: what it holds is dropped first. Null when it
// cannot be opened.
std::FILE* openPrivateAppend(const std::string& path, bool empty = false);

// An exclusive lock on the file "kestrune.lock" in a folder, held until the
// process ends: the agent and a one-shot run never write the same files at
// once. 1 taken, 0 held by another process, -1 with `error` when the file
// cannot be opened.
int lockFolder(const std::string& folder, std::string* error);

// Opens `path` for reading if it is a regular file, without following a link
// there and without waiting on a pipe; `size` gets its length. Null when it is
// missing, unreadable or anything else.
std::FILE* openRegularFile(const std::string& path, long long* size);

// Makes the last rename in the folder of `path` survive a power loss (where
// the rename itself does not already).
void syncFolderOf(const std::string& path);

}  // namespace kestrune
