// tessel-cli export of pictures larger than memory: the picture is decoded band by band while its
// slices are written, so the program's peak memory stays far below the decoded picture.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "tests/cli/cli_test_support.h"

// AddressSanitizer builds, whose memory is measured with a small quarantine.
#if defined(__SANITIZE_ADDRESS__)
#define TESSEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSEL_TEST_ASAN 1
#endif
#endif

namespace tessel::cli::test {
namespace {

void PutBE32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// Appends one chunk with its length and CRC.
void WriteChunk(std::FILE* file, const char* type, const uint8_t* data, size_t size) {
  std::vector<uint8_t> head;
  PutBE32(head, static_cast<uint32_t>(size));
  head.insert(head.end(), type, type + 4);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  std::vector<uint8_t> tail;
  PutBE32(tail, static_cast<uint32_t>(crc));
  std::fwrite(head.data(), 1, head.size(), file);
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fwrite(tail.data(), 1, tail.size(), file);
}

// Writes a `width` x `height` true-colour PNG row by row, never holding more than a row: every row
// is one colour that changes from row to row, stored with the Sub filter (so all but its first
// pixel are zeros) and compressed for speed.
void WriteLargePng(const fs::path& path, int32_t width, int32_t height) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  static constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::fwrite(kSignature.data(), 1, kSignature.size(), file);
  std::vector<uint8_t> header;
  PutBE32(header, static_cast<uint32_t>(width));
  PutBE32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, not interlaced
  WriteChunk(file, "IHDR", header.data(), header.size());

  z_stream z{};
  ASSERT_EQ(deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_RLE), Z_OK);
  std::vector<uint8_t> row(1 + 3 * static_cast<size_t>(width), 0);
  std::vector<uint8_t> out(1 << 20);
  const auto drain = [&](int flush) {
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, flush);
      const size_t produced = out.size() - z.avail_out;
      if (produced > 0) WriteChunk(file, "IDAT", out.data(), produced);
    } while (z.avail_out == 0);
  };
  row[0] = 1;  // Sub
  for (int32_t y = 0; y < height; ++y) {
    row[1] = static_cast<uint8_t>(y);            // blue
    row[2] = static_cast<uint8_t>(y / 256);      // green
    row[3] = static_cast<uint8_t>(255 - y % 7);  // red
    z.next_in = row.data();
    z.avail_in = static_cast<uInt>(row.size());
    drain(Z_NO_FLUSH);
  }
  drain(Z_FINISH);
  deflateEnd(&z);
  WriteChunk(file, "IEND", nullptr, 0);
  std::fclose(file);
}

// Runs tessel-cli with `args` as a child of its own and returns its exit status and its peak
// resident memory in bytes.
std::pair<int, int64_t> RunCliMeasured(const std::vector<std::string>& args, const fs::path& errors) {
  std::vector<std::string> all = {TESSEL_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::FILE* err = std::freopen(errors.c_str(), "w", stderr);
    if (err == nullptr) ::_exit(126);
#ifdef TESSEL_TEST_ASAN
    // Freed blocks are kept in quarantine (256 MiB by default), which would count as the program's
    // memory; a small quarantine measures what the program itself holds.
    ::setenv("ASAN_OPTIONS", "quarantine_size_mb=16:detect_leaks=0", 1);
#endif
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) return {-1, 0};
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, static_cast<int64_t>(usage.ru_maxrss) * 1024};
}

class ExportStreamTest : public TCliTest {};

// A 30000 x 20000 picture (1.7 GiB decoded) cut 10 x 10 into JPEG slices with the pixel limit raised:
// every slice is written, and the program's peak memory stays under 400 MiB (also with
// AddressSanitizer, whose quarantine of freed memory is kept small for the measurement).
TEST_F(ExportStreamTest, APictureLargerThanMemoryExportsInBoundedMemory) {
  const int32_t width = 30000, height = 20000;
  const int64_t bound = int64_t{400} << 20;
  const fs::path source = dir_ / "large.png";
  WriteLargePng(source, width, height);
  const auto [status, peak] =
      RunCliMeasured({"export", source.string(), "--html", Path("page.html"), "--divide", "10x10",
                      "--max-pixels", std::to_string(int64_t{width} * height)},
                     dir_ / "errors.txt");
  ASSERT_EQ(status, 0) << ReadFile(dir_ / "errors.txt");
  EXPECT_LT(peak, bound) << "peak " << (peak >> 20) << " MiB";
  std::printf("peak memory of the export: %lld MiB\n", static_cast<long long>(peak >> 20));
  EXPECT_TRUE(fs::exists(dir_ / "page.html"));
  // The last slice holds the picture's last rows: its colour is that of the bottom row.
  pg::TPixelGraphic last;
  pg::LoadImage(last, Path("page_1010.jpg"));
  EXPECT_EQ(last.Width(), width / 10);
  EXPECT_EQ(last.Height(), height / 10);
  const uint8_t* bottom = last.ScanLine(last.Height() - 1);
  const int32_t y = height - 1;
  EXPECT_NEAR(bottom[0], 255 - y % 7, 3);
  EXPECT_NEAR(bottom[1], y / 256 % 256, 3);
  EXPECT_NEAR(bottom[2], y % 256, 3);
  int slices = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) slices += entry.path().extension() == ".jpg" ? 1 : 0;
  EXPECT_EQ(slices, 100);
}

// A TIFF file 800,000,000 pixels wide and one row high: a row alone takes 2.4 GB, more than an
// image row can hold. The export refuses it with a message naming the file, before it allocates
// anything for the rows, and writes nothing.
TEST_F(ExportStreamTest, APictureWhoseRowCannotBeHeldIsRefused) {
  std::vector<uint8_t> bytes = {'I', 'I', 42, 0, 8, 0, 0, 0};
  const auto put16 = [&](uint32_t v) { bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)}); };
  const auto put32 = [&](uint32_t v) {
    bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  };
  std::vector<uint8_t> data(64);
  uLongf packedSize = compressBound(100);
  std::vector<uint8_t> zeros(100, 0);
  compress(data.data(), &packedSize, zeros.data(), zeros.size());
  data.resize(packedSize);
  const uint32_t valuesAt = 8 + 2 + 10 * 12 + 4;
  const uint32_t dataAt = valuesAt + 6;
  const std::vector<std::array<uint32_t, 4>> entries = {
      {256, 4, 1, 800000000}, {257, 4, 1, 1}, {258, 3, 3, valuesAt},
      {259, 3, 1, 8},         {262, 3, 1, 2}, {273, 4, 1, dataAt},
      {277, 3, 1, 3},         {278, 4, 1, 1}, {279, 4, 1, uint32_t(data.size())},
      {284, 3, 1, 1}};
  put16(static_cast<uint32_t>(entries.size()));
  for (const auto& [tag, type, count, value] : entries) {
    put16(tag);
    put16(type);
    put32(count);
    if (type == 3 && count == 1) {
      put16(value);
      put16(0);
    } else {
      put32(value);
    }
  }
  put32(0);
  for (int i = 0; i < 3; ++i) put16(8);
  bytes.insert(bytes.end(), data.begin(), data.end());
  const fs::path source = dir_ / "wide.tif";
  std::FILE* file = std::fopen(source.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);

  const auto [status, peak] =
      RunCliMeasured({"export", source.string(), "--html", Path("page.html"), "--max-pixels", "1000000000"},
                     dir_ / "errors.txt");
  const std::string errors = ReadFile(dir_ / "errors.txt");
  EXPECT_NE(status, 0);
  EXPECT_NE(errors.find("wide.tif"), std::string::npos) << errors;
  EXPECT_NE(errors.find("A row of 800000000 pixels takes 2400000000 bytes"), std::string::npos) << errors;
  EXPECT_LT(peak, int64_t{1} << 30);
  fs::remove(dir_ / "errors.txt");
  fs::remove(source);
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace tessel::cli::test
