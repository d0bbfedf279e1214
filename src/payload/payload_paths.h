// Paths of the working folder and its files, formed within fixed limits: a
// path that does not fit is not formed at all, so no step ever acts on a
// shortened path that names something else.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

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

// Whether a catalogue file name stays inside the working folder: a relative
// path of one or more non-empty parts separated by single backslashes, none
// of them made of dots and spaces alone (".", ".."), with no drive or stream
// colon, no forward slash and no control character, and none a device name
// (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, CONIN$, CONOUT$) with or
// without an extension.
bool IsNameInsideFolder(std::wstring_view name);

}  // namespace lantern
