#include "setup/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include "app/app_state.h"
#include "app/stored_state.h"
#include "setup/cal_file.h"
#include "setup/config_file.h"
#include "file_test_support.h"

namespace {

namespace fs = std::filesystem;

// An old configuration on disk, different from what the tests try to write.
std::vector<uint8_t> putOldConfig(const TempDir& dir) {
  auto old = std::make_unique<AppState>();
  old->setup.displayRange = 77.0;
  EXPECT_TRUE(writeConfigFile(configView(*old), dir.path()));
  return readBytes(dir.file("sonrake.cfg"));
}

TEST(AtomicWrite, LeftoverTemporaryFileIsReplaced) {
  TempDir dir;
  writeBytes(dir.file("sonrake.cfg.tmp"), std::vector<uint8_t>(50000, 0xAB), 50000);
  auto s = std::make_unique<AppState>();
  ASSERT_TRUE(writeConfigFile(configView(*s), dir.path()));
  EXPECT_EQ(fs::file_size(dir.file("sonrake.cfg")), 16326u);
  EXPECT_FALSE(fs::exists(dir.file("sonrake.cfg.tmp")));
}

TEST(AtomicWrite, FailedWriteLeavesOldFileWhole) {
  TempDir dir;
  const std::vector<uint8_t> old = putOldConfig(dir);
  auto s = std::make_unique<AppState>();

  // The temporary name is taken by a directory that cannot be removed.
  fs::create_directory(dir.file("sonrake.cfg.tmp"));
  writeBytes(dir.file("sonrake.cfg.tmp/keep"), {1}, 1);
  EXPECT_FALSE(writeConfigFile(configView(*s), dir.path()));
  EXPECT_EQ(readBytes(dir.file("sonrake.cfg")), old);
  fs::remove_all(dir.file("sonrake.cfg.tmp"));

  // The data directory does not exist.
  EXPECT_FALSE(writeConfigFile(configView(*s), dir.path() + "missing/"));
  EXPECT_FALSE(writeCalFile(s->soundcardCal, s->micCal, dir.path() + "missing/"));

  // The target is a directory: the rename fails, the temporary file goes.
  fs::create_directory(dir.file("sonrake.cal"));
  writeBytes(dir.file("sonrake.cal/keep"), {1}, 1);
  EXPECT_FALSE(writeCalFile(s->soundcardCal, s->micCal, dir.path()));
  EXPECT_FALSE(fs::exists(dir.file("sonrake.cal.tmp")));
  EXPECT_TRUE(fs::is_directory(dir.file("sonrake.cal")));
}

// A file size limit of 1 MB makes the 2.8 MB write fail part-way, as a full
// disk would. The signal such a limit raises does not end the program, and
// its handling is left as it was.
TEST(AtomicWrite, FileSizeLimitHalfWayLeavesOldCalibrationWhole) {
  TempDir dir;
  auto old = std::make_unique<AppState>();
  old->soundcardCal.calibratedFlags[0][6][1] = true;
  ASSERT_TRUE(writeCalFile(old->soundcardCal, old->micCal, dir.path()));
  const std::vector<uint8_t> before = readBytes(dir.file("sonrake.cal"));

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = 1 << 20;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  auto s = std::make_unique<AppState>();
  const bool written = writeCalFile(s->soundcardCal, s->micCal, dir.path());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  struct sigaction now{};
  ASSERT_EQ(::sigaction(SIGXFSZ, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_DFL);

  EXPECT_FALSE(written);
  EXPECT_EQ(readBytes(dir.file("sonrake.cal")), before);
  EXPECT_FALSE(fs::exists(dir.file("sonrake.cal.tmp")));
  EXPECT_FALSE(fs::exists(dir.file("sonrake.cal.bak.tmp")));
  auto t = std::make_unique<AppState>();
  EXPECT_EQ(readCalFile(t->soundcardCal, t->micCal, dir.path()), CalFileRead::loaded);
  EXPECT_TRUE(t->soundcardCal.calibratedFlags[0][6][1]);
}

TEST(AtomicWrite, ReplacementKeepsPermissionBits) {
  TempDir dir;
  putOldConfig(dir);
  ASSERT_EQ(::chmod(dir.file("sonrake.cfg").c_str(), 0600), 0);
  auto s = std::make_unique<AppState>();
  ASSERT_TRUE(writeConfigFile(configView(*s), dir.path()));
  struct stat st{};
  ASSERT_EQ(::stat(dir.file("sonrake.cfg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A FIFO, a directory or a device in place of a data file counts as no
// file: nothing is read, and nothing waits for a writer that never comes.
TEST(ReadFileBytes, OnlyRegularFilesAreReadAndNothingBlocks) {
  TempDir dir;
  FifoWatch watch(dir.file("sonrake.cfg"));
  fs::create_directory(dir.file("sonrake.cal"));
  uint8_t buf[16];
  const long fifo = readFileBytes(dir.file("sonrake.cfg"), buf, sizeof buf);
  auto s = std::make_unique<AppState>();
  s->setup.displayRange = 77.0;
  CalFileRead cal = CalFileRead::loaded;
  const bool accepted = loadStoredState(*s, dir.path(), &cal);
  EXPECT_FALSE(watch.done());

  EXPECT_EQ(fifo, -1);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(cal, CalFileRead::missing);
  EXPECT_EQ(s->setup.displayRange, 77.0);  // a missing file changes nothing
  EXPECT_EQ(readFileBytes(dir.file("sonrake.cal"), buf, sizeof buf), -1);
  EXPECT_EQ(readFileBytes("/dev/zero", buf, sizeof buf), -1);

  // The writers replace what is not a regular file, except a directory.
  EXPECT_TRUE(writeConfigFile(configView(*s), dir.path()));
  EXPECT_TRUE(fs::is_regular_file(dir.file("sonrake.cfg")));
  EXPECT_FALSE(writeCalFile(s->soundcardCal, s->micCal, dir.path()));
  EXPECT_TRUE(fs::is_directory(dir.file("sonrake.cal")));
}

TEST(ReadFileBytes, ReadsNoMoreThanAskedAndReportsMissingFile) {
  TempDir dir;
  writeBytes(dir.file("f"), {1, 2, 3, 4, 5}, 5);
  uint8_t buf[5] = {0, 0, 0, 0, 0xEE};  // the last byte guards the end
  EXPECT_EQ(readFileBytes(dir.file("f"), buf, 4), 4);
  EXPECT_EQ(buf[3], 4);
  EXPECT_EQ(buf[4], 0xEE);
  uint8_t big[16] = {};
  EXPECT_EQ(readFileBytes(dir.file("f"), big, sizeof big), 5);
  EXPECT_EQ(readFileBytes(dir.file("none"), big, sizeof big), -1);
}

}  // namespace
