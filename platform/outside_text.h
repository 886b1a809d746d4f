#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Outside text (a server's words, a path, a program's output) as it may be shown to a person or
// written into a line-based file: every control character, C1 (U+0080 to U+009F) as much as C0
// and DEL, since terminals obey both, becomes a visible escape, and so does every byte that is
// not part of a UTF-8 character. Given a limit, a longer result is cut at a character boundary
// with a note of how many bytes were left out.
std::string escapedText(std::string_view text, std::size_t limit = std::string_view::npos);

// Whether escapedText would change the text: it holds something no person should get raw.
bool needsEscaping(std::string_view text);

// A URL as a log may show it: without the user name and password before its host.
std::string withoutUserInfo(std::string_view url);

}  // namespace platform
