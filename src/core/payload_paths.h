// Paths of the working folder and its files, formed within fixed limits: a
// path that does not fit is not formed at all, so no step ever acts on a
// shortened path that names something else.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lantern {

// Room of the working folder's and the root's path buffers, terminator included.
constexpr std::size_t kMaxPath = 260;
// Room of a payload file's path buffer, terminator included; joins still stop
// at kMaxPath.
constexpr std::size_t kFilePathRoom = 520;

// `folder`, a backslash unless it already ends with one (or is empty), and
// `name` without its leading backslashes. Nothing when the result would not
// fit in `room` characters with its terminator.
std::optional<std::wstring> JoinPath(std::wstring_view folder, std::wstring_view name,
                                     std::size_t room = kMaxPath);

// A catalogue file name as Windows' path rules read it inside the working
// folder: backslashes and forward slashes separate parts; leading, doubled
// and trailing separators, "." parts and the dots and spaces that end a part
// are dropped; ".." takes the part before it away. Nothing when the name
// leaves the folder (a ".." with no part before it), names no file, holds a
// part of dots and spaces alone other than "." and "..", a drive or stream
// colon, a wildcard, a character Windows refuses in names, or a device name
// (CON, NUL, COM0, LPT9, ... with or without an extension), which a path would open
// instead of a file.
std::optional<std::wstring> NormalisePayloadName(std::wstring_view name);

// The parts of a normalised name, in order.
std::vector<std::wstring> PayloadNameParts(std::wstring_view normalised);

// Whether a catalogue file name names a file inside the working folder.
inline bool IsNameInsideFolder(std::wstring_view name) { return NormalisePayloadName(name).has_value(); }

}  // namespace lantern
