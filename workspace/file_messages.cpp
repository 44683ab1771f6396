#include "workspace/file_messages.h"

#include <set>
#include <vector>

#include "imaging/formats/file_format.h"

namespace tessel {

std::string FileNameForMessage(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  return name.empty() ? path.string() : name;
}

std::string NotAnImageMessage(const std::filesystem::path& path) {
  // The extensions of the readers, as the open dialog lists them.
  std::set<std::string> extensions;
  for (const auto& reader : pg::FileFormatReaders()) extensions.insert(reader->Extension);
  const std::vector<std::string> items(extensions.begin(), extensions.end());
  std::string list;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) list += i + 1 == items.size() ? " and " : ", ";
    list += "." + items[i];
  }
  return FileNameForMessage(path) + " is not an image Tessel can read. Tessel reads " + list + " files.";
}

std::string FolderMessage(const std::filesystem::path& path, std::string_view what,
                          std::string_view whatToDo) {
  return FileNameForMessage(path) + " is a folder, not " + std::string(what) + ". " + std::string(whatToDo);
}

std::string OpenWarningQuestion(const std::filesystem::path& path, std::string_view warning,
                                bool withCancel) {
  const std::string name = FileNameForMessage(path);
  std::string text = name + ": " + std::string(warning) + "\n\n";
  if (withCancel) {
    text += "OK opens the part of " + name + " that could be read; Cancel leaves it closed.";
  } else {
    text += "OK opens the part of " + name + " that could be read.";
  }
  return text;
}

std::string NamingFile(const std::filesystem::path& path, std::string_view text) {
  const std::string full = path.string();
  const std::string name = FileNameForMessage(path);
  if (text.find(full) != std::string_view::npos || text.rfind(name, 0) == 0) return std::string(text);
  return name + ": " + std::string(text);
}

}  // namespace tessel
