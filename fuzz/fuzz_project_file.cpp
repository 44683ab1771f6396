// Project file parser: any bytes must either read as a project or raise EProjectError with a
// short, printable message naming the file; what reads must write back to a document that reads
// the same, with every slice inside the grid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "workspace/errors.h"
#include "workspace/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path path = "/fuzz/p.tessel";
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const tessel::TProject project = tessel::ParseProjectText(text, path);
    const tessel::TSortedGrid sorted(project.Grid);
    for (const auto& [key, properties] : project.Slices.Entries()) {
      if (!sorted.Contains(key) || properties.Empty()) std::abort();
    }
    tessel::TProject again = tessel::ParseProjectText(tessel::FormatProjectText(project, path), path);
    if (again.ImagePath.lexically_normal() != project.ImagePath.lexically_normal()) std::abort();
    again.ImagePath = project.ImagePath;
    if (!(again == project)) std::abort();
  } catch (const tessel::EProjectError& e) {
    const std::string_view message = e.what();
    if (message.size() > 2000 || message.rfind("/fuzz/p.tessel: ", 0) != 0) std::abort();
    for (char c : message) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    }
  }
  return 0;
}
