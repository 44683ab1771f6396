#include "imaging/image/safe_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/image/exceptions.h"
#include "imaging/image/safe_file_internal.h"
#include "tests/workspace/file_size_limit.h"

namespace pg {
namespace {

namespace fs = std::filesystem;

class SafeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tessel-safe-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static mode_t Mode(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string ErrorOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const EPGStreamError& e) {
      return e.what();
    }
    return "(no error)";
  }

  fs::path dir_;
};

TEST_F(SafeFileTest, PermissionBitsOfTheReplacedFileAreKeptAndNewFilesFollowTheUmask) {
  const fs::path secret = Write("secret.txt", "old");
  ::chmod(secret.c_str(), 0600);
  WriteFileSafely(secret, "new private text");
  EXPECT_EQ(Read(secret), "new private text");
  EXPECT_EQ(Mode(secret), 0600u);

  const fs::path shared = Write("shared.txt", "old");
  ::chmod(shared.c_str(), 0754);
  WriteFileSafely(shared, "x");
  EXPECT_EQ(Mode(shared), 0754u);

  const mode_t previous = ::umask(027);
  WriteFileSafely(dir_ / "new.txt", "fresh");
  ::umask(077);
  WriteFileSafely(dir_ / "private.txt", "fresh");
  ::umask(previous);
  EXPECT_EQ(Mode(dir_ / "new.txt"), 0640u);
  EXPECT_EQ(Mode(dir_ / "private.txt"), 0600u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"new.txt", "private.txt", "secret.txt", "shared.txt"}));

  if (::geteuid() == 0) {
    // Written by root, a user's file stays the user's.
    ASSERT_EQ(::chown(shared.c_str(), 12345, 23456), 0);
    WriteFileSafely(shared, "y");
    struct stat status {};
    ASSERT_EQ(::stat(shared.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 12345u);
    EXPECT_EQ(status.st_gid, 23456u);
    EXPECT_EQ(status.st_mode & 07777, 0754u);
  }
}

TEST_F(SafeFileTest, SymbolicLinksAreWrittenThroughAndStayLinks) {
  fs::create_directories(dir_ / "real");
  const fs::path real = Write("real/picture.bmp", "old");
  ::chmod(real.c_str(), 0640);
  fs::create_symlink("real/picture.bmp", dir_ / "link.bmp");
  WriteFileSafely(dir_ / "link.bmp", "new");
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.bmp"));
  EXPECT_EQ(Read(real), "new");
  EXPECT_EQ(Mode(real), 0640u);
  // A chain of links, the last one dangling: the file it names is created.
  fs::create_symlink("real/later.bmp", dir_ / "dangling.bmp");
  fs::create_symlink("dangling.bmp", dir_ / "chain.bmp");
  WriteFileSafely(dir_ / "chain.bmp", "made");
  EXPECT_EQ(Read(dir_ / "real" / "later.bmp"), "made");
  EXPECT_TRUE(fs::is_symlink(dir_ / "chain.bmp"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "real"), fs::directory_iterator()), 2);
  // A loop is an error naming the file asked for.
  fs::create_symlink("loop2", dir_ / "loop1");
  fs::create_symlink("loop1", dir_ / "loop2");
  EXPECT_EQ(ErrorOf([&] { WriteFileSafely(dir_ / "loop1", "x"); }),
            (dir_ / "loop1").string() + ": " + std::strerror(ELOOP));
}

TEST_F(SafeFileTest, PlantedLinksAtTemporaryNamesAreNeverFollowed) {
  const fs::path victim = Write("victim.txt", "precious");
  const std::vector<std::string> names = {"a.tmp", "b.tmp", "c.tmp"};
  fs::create_symlink(victim, dir_ / "a.tmp");
  fs::create_symlink(dir_ / "nowhere.txt", dir_ / "b.tmp");  // a dangling link would be created through
  size_t next = 0;
  fs::path created;
  const int descriptor = safe_file_detail::CreateTemporaryFile(
      dir_, [&] { return names[next++]; }, created);
  ASSERT_GE(descriptor, 0) << std::strerror(errno);
  EXPECT_EQ(::write(descriptor, "data", 4), 4);
  ::close(descriptor);
  EXPECT_EQ(created, dir_ / "c.tmp");
  EXPECT_EQ(Mode(created), 0600u);
  EXPECT_EQ(Read(victim), "precious");
  EXPECT_FALSE(fs::exists(dir_ / "nowhere.txt"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "a.tmp"));

  // Every name taken: a bounded number of tries, then an error, not a loop without end.
  int calls = 0;
  errno = 0;
  EXPECT_EQ(safe_file_detail::CreateTemporaryFile(
                dir_,
                [&] {
                  ++calls;
                  return std::string("a.tmp");
                },
                created),
            -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_LE(calls, 100);

  // The real names are short and unpredictable.
  const std::string first = safe_file_detail::RandomTemporaryName();
  EXPECT_LE(first.size(), 24u);
  EXPECT_NE(first, safe_file_detail::RandomTemporaryName());

  // The old scheme's names (target + ".~PID-N.tmp"), planted, are of no use any more.
  for (int n = 0; n < 50; ++n) {
    fs::create_symlink(victim,
                       dir_ / ("out.png.~" + std::to_string(::getpid()) + "-" + std::to_string(n) + ".tmp"));
  }
  WriteFileSafely(dir_ / "out.png", "picture");
  EXPECT_EQ(Read(dir_ / "out.png"), "picture");
  EXPECT_EQ(Read(victim), "precious");
}

TEST_F(SafeFileTest, FoldersPipesAndDevicesAreRefusedAndLeftAlone) {
  fs::create_directories(dir_ / "folder.png");
  EXPECT_EQ(ErrorOf([&] { WriteFileSafely(dir_ / "folder.png", "x"); }),
            (dir_ / "folder.png").string() + ": is a folder, not a regular file; left as it is");
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.png"));

  // Opening a pipe nobody reads would block; the writer must not even try.
  const fs::path fifo = dir_ / "pipe.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto result = std::async(std::launch::async, [&] { return ErrorOf([&] { WriteFileSafely(fifo, "x"); }); });
  if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    const int unblock = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the stuck writer go
    result.wait();
    ::close(unblock);
    FAIL() << "writing to a named pipe blocked";
  }
  EXPECT_EQ(result.get(), fifo.string() + ": is a named pipe, not a regular file; left as it is");
  EXPECT_TRUE(fs::is_fifo(fifo));

  // A link to the pipe is followed to it and refused the same way.
  fs::create_symlink("pipe.png", dir_ / "to-pipe.png");
  EXPECT_NE(ErrorOf([&] { WriteFileSafely(dir_ / "to-pipe.png", "x"); }).find("named pipe"),
            std::string::npos);
  EXPECT_TRUE(fs::is_fifo(fifo));

  const fs::path device = dir_ / "null.png";
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    EXPECT_EQ(ErrorOf([&] { WriteFileSafely(device, "x"); }),
              device.string() + ": is a device, not a regular file; left as it is");
    EXPECT_TRUE(fs::is_character_file(device));
  } else {
    std::cout << "device node not made (" << std::strerror(errno) << "): that case is not run\n";
  }
  for (const std::string& name : Names()) EXPECT_EQ(name.find(".tessel-"), std::string::npos) << name;
}

TEST_F(SafeFileTest, NamesNearTheSystemLimitWork) {
  for (size_t length : {246u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".bmp";
    WriteFileSafely(dir_ / name, "long");
    EXPECT_EQ(Read(dir_ / name), "long");
  }
  EXPECT_EQ(Names().size(), 2u);
}

TEST_F(SafeFileTest, FailuresNameTheTargetAndTheCauseAndKeepTheOldFile) {
  const fs::path path = Write("photo.bmp", "old");
  {
    tessel::TFileSizeLimit limit(100);
    EXPECT_EQ(ErrorOf([&] { WriteFileSafely(path, std::string(1000, 'x')); }),
              path.string() + ": " + std::strerror(EFBIG));
    // Also when the data is written by a writer of its own that reports the failure in its words.
    EXPECT_EQ(ErrorOf([&] {
                WriteFileSafely(path, [](TStream& stream) {
                  const std::string block(1 << 17, 'y');
                  if (stream.Write(block.data(), block.size()) != block.size())
                    throw EPGStreamError("codec text");
                });
              }),
              path.string() + ": " + std::strerror(EFBIG));
  }
  EXPECT_EQ(ErrorOf([&] { WriteFileSafely(dir_ / "missing" / "x.bmp", "x"); }),
            (dir_ / "missing" / "x.bmp").string() + ": " + std::strerror(ENOENT));
  // A failure of the writer itself propagates as it is.
  EXPECT_THROW(WriteFileSafely(path, [](TStream&) { throw std::logic_error("encoder"); }), std::logic_error);
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"photo.bmp"});
}

// A writer that holds a finished file back (the export after a failure of another slice) leaves
// the target as it was and no temporary file; one that lets it through replaces the target.
TEST_F(SafeFileTest, ACommitGateDecidesWhetherTheNewFileTakesTheName) {
  const fs::path target = Write("slice.bin", "old");
  const auto write = [](TStream& stream) { stream.WriteBuffer("new", 3); };
  EXPECT_FALSE(WriteFileSafely(target, write, [](const std::function<void()>&) {}));
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"slice.bin"});
  EXPECT_FALSE(WriteFileSafely(dir_ / "fresh.bin", write, [](const std::function<void()>&) {}));
  EXPECT_EQ(Names(), std::vector<std::string>{"slice.bin"});
  EXPECT_TRUE(WriteFileSafely(target, write, [](const std::function<void()>& replace) { replace(); }));
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(Names(), std::vector<std::string>{"slice.bin"});
}

TEST_F(SafeFileTest, IdentityIgnoresSpellingAndFollowsLinks) {
  const fs::path file = Write("a.png", "x");
  fs::create_hard_link(file, dir_ / "hard.png");
  fs::create_symlink("a.png", dir_ / "soft.png");
  fs::create_directories(dir_ / "sub");
  const TFileIdentity identity = FileIdentity(file);
  EXPECT_TRUE(identity.Exists());
  EXPECT_EQ(identity.Type, static_cast<mode_t>(S_IFREG));
  for (const fs::path& other :
       {dir_ / "." / "a.png", dir_ / "sub" / ".." / "a.png", dir_ / "hard.png", dir_ / "soft.png"}) {
    EXPECT_TRUE(FileIdentity(other) == identity) << other;
  }
  // Names not there yet: the same folder and name under any spelling, a dangling link to it too.
  fs::create_symlink("sub/../b.png", dir_ / "to-b.png");
  const TFileIdentity b = FileIdentity(dir_ / "b.png");
  EXPECT_FALSE(b.Exists());
  EXPECT_TRUE(FileIdentity(dir_ / "sub" / ".." / "b.png") == b);
  EXPECT_TRUE(FileIdentity(dir_ / "to-b.png") == b);
  EXPECT_FALSE(FileIdentity(dir_ / "c.png") == b);
  EXPECT_FALSE(FileIdentity(dir_ / "sub" / "b.png") == b);
  EXPECT_EQ(FileIdentity(dir_ / "sub").Type, static_cast<mode_t>(S_IFDIR));
  EXPECT_THROW(FileIdentity(dir_ / "missing" / "b.png"), EPGStreamError);
}

}  // namespace
}  // namespace pg
