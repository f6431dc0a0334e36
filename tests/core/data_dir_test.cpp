#include "setup/data_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "app/stored_state.h"
#include "setup/cal_file.h"
#include "setup/config_file.h"
#include "file_test_support.h"

namespace {

// Restores KALDER as the test found it.
class KalderGuard {
 public:
  KalderGuard() {
    const char* v = std::getenv("KALDER");
    had_ = v != nullptr;
    if (had_) old_ = v;
  }
  ~KalderGuard() {
    if (had_) ::setenv("KALDER", old_.c_str(), 1);
    else ::unsetenv("KALDER");
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(DataDirectory, KalderWinsOverWorkingDirectoryWhenUsable) {
  EXPECT_EQ(dataDirectory("/srv/meas", "/home/u"), "/srv/meas/");
  EXPECT_EQ(dataDirectory(nullptr, "/home/u"), "/home/u/");
  // An empty value would put the files into the root directory.
  EXPECT_EQ(dataDirectory("", "/home/u"), "/home/u/");
  EXPECT_EQ(dataDirectory(nullptr, nullptr), "./");
}

TEST(DataDirectory, PathOfAtMost259CharactersIsRequired) {
  // 247 characters + '/' + "sonrake.cfg" (11) = 259: still fits.
  const std::string longest = "/" + std::string(246, 'd');
  EXPECT_EQ(dataDirectory(longest.c_str(), "/home/u"), longest + "/");
  EXPECT_EQ(dataFilePath(dataDirectory(longest.c_str(), "/w"), kConfigFileName).size(), 259u);
  // One more character makes 260: the working directory is used instead.
  const std::string tooLong = longest + "d";
  EXPECT_EQ(dataDirectory(tooLong.c_str(), "/home/u"), "/home/u/");
  // A working directory that is too long as well still names itself as ".".
  EXPECT_EQ(dataDirectory(tooLong.c_str(), tooLong.c_str()), "./");
}

TEST(DataDirectory, FollowsEnvironmentOfTheProcess) {
  KalderGuard guard;
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);

  ::unsetenv("KALDER");
  EXPECT_EQ(dataDirectory(), std::string(cwd) + "/");

  TempDir dir;
  ::setenv("KALDER", dir.path().substr(0, dir.path().size() - 1).c_str(), 1);
  const std::string dataDir = dataDirectory();
  EXPECT_EQ(dataDir, dir.path());

  // Both files land in that directory and are read back from it.
  auto s = std::make_unique<AppState>();
  s->micCalValid = true;
  s->setup.micDataOff = false;
  s->micCal[0] = Complex(2.0, 0.0);
  ASSERT_TRUE(writeConfigFile(configView(*s), dataDir));
  ASSERT_TRUE(writeCalFile(s->soundcardCal, s->micCal, dataDir));
  EXPECT_TRUE(std::filesystem::exists(dir.file("sonrake.cfg")));
  EXPECT_TRUE(std::filesystem::exists(dir.file("sonrake.cal")));
  auto t = std::make_unique<AppState>();
  EXPECT_TRUE(loadStoredState(*t, dataDirectory()));
  EXPECT_TRUE(t->micCalValid);
  EXPECT_EQ(t->micCal[0], Complex(2.0, 0.0));
}

}  // namespace
