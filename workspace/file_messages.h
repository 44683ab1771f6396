// What the program tells the user about a file it cannot use: each message names the file and
// says what to do. Plain text, so the window and the tests share it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tessel {

// The name a message calls a file by: its last component, or the whole path when it has none.
std::string FileNameForMessage(const std::filesystem::path& path);

// "photo.txt is not an image Tessel can read. Tessel reads .bmp, .dib, ... files."
std::string NotAnImageMessage(const std::filesystem::path& path);

// "photos is a folder, not <what>. <whatToDo>"
std::string FolderMessage(const std::filesystem::path& path, std::string_view what,
                          std::string_view whatToDo);

// The question after a warning of the reader while `path` is opened: the warning, then what OK and
// (when the question has it) Cancel do.
std::string OpenWarningQuestion(const std::filesystem::path& path, std::string_view warning, bool withCancel);

// `text` with the file's name in front, unless it already names the file.
std::string NamingFile(const std::filesystem::path& path, std::string_view text);

}  // namespace tessel
