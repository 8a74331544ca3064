// Files: the content folder and the mapping of the demo's backslash paths to
// host paths, with a case-insensitive fallback for names made on systems that
// ignore case.
#pragma once

#include <string>
#include <vector>

// The folder that holds the running executable, with no trailing separator.
std::string ExecutableFolder();

// Where the program looks for its content when no folder is given, in order:
// the program's own folder (a build tree keeps the pack beside the program),
// then the installed pack's folder relative to the program.
std::vector<std::string> DefaultContentFolders();

// The first of `folders` that holds content (a `data` folder, matched in any
// case); throws ContentError naming every folder when none does.
std::string FindContentFolder(const std::vector<std::string>& folders);

// `folder` made absolute with no trailing separator; throws ContentError
// naming it when it does not exist or is not a folder.
std::string GivenContentFolder(const std::string& folder);

// Maps a path written with backslashes (or slashes) to the host's form:
// separators become '/', repeated separators collapse, and each component that
// does not exist with its exact case is replaced by a case-insensitive match in
// its folder when there is exactly one such match. Returns the mapped path even
// when nothing exists there.
std::string ResolvePath(const std::string& path);

// The file of a texture that a mesh's material names: `stored` taken from
// `meshFolder` when that names a file; otherwise the file of that name in
// `meshFolder`, for paths that point elsewhere (an exporter's absolute path).
// Throws ContentError naming both places when neither holds the file.
std::string ResolveMaterialTexture(const std::string& meshFolder, const std::string& stored);

// Reads a whole file; throws ContentError naming the path when it is missing,
// is a directory or cannot be read.
std::string ReadWholeFile(const std::string& path);
