#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace talu::platform {
namespace {

using Claim = SingleInstanceMarker::Claim;
constexpr const char* kName = "TALU_NETWORK_CHECK_2.0";

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/talu-single-instance-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
  }
  void TearDown() override {
    unlink((directory + "/" + kName + ".lock").c_str());
    rmdir(directory.c_str());
  }
  std::string directory;
};

TEST_F(SingleInstanceTest, ASecondClaimWhileTheFirstIsHeldFindsItRunning) {
  SingleInstanceMarker first(directory, kName);
  EXPECT_EQ(first.Result(), Claim::First);
  SingleInstanceMarker second(directory, kName);
  EXPECT_EQ(second.Result(), Claim::AlreadyRunning);
}

TEST_F(SingleInstanceTest, AClaimAfterTheFirstHasEndedIsFirstAgain) {
  { SingleInstanceMarker first(directory, kName); }
  SingleInstanceMarker later(directory, kName);
  EXPECT_EQ(later.Result(), Claim::First);
}

TEST_F(SingleInstanceTest, OtherNamesDoNotCollide) {
  SingleInstanceMarker first(directory, kName);
  SingleInstanceMarker other(directory, "ANOTHER_PROGRAM");
  EXPECT_EQ(other.Result(), Claim::First);
  unlink((directory + "/ANOTHER_PROGRAM.lock").c_str());
}

TEST_F(SingleInstanceTest, AMarkerThatCannotBeMadeIsNotDetectedAndTheProgramRuns) {
  SingleInstanceMarker missing(directory + "/no-such-directory", kName);
  EXPECT_EQ(missing.Result(), Claim::NotDetected);
  // A planted link is not followed.
  const std::string link = directory + "/" + kName + ".lock";
  ASSERT_EQ(symlink((directory + "/elsewhere").c_str(), link.c_str()), 0);
  SingleInstanceMarker linked(directory, kName);
  EXPECT_EQ(linked.Result(), Claim::NotDetected);
  struct stat info{};
  EXPECT_NE(stat((directory + "/elsewhere").c_str(), &info), 0);
}

TEST(SingleInstancePathTest, RuntimeDirectoryFirstThenAPerUserFileInTmp) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::optional<std::string> restore = saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
  EXPECT_EQ(SingleInstanceMarker::DefaultPath(kName), "/run/user/1234/TALU_NETWORK_CHECK_2.0.lock");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(SingleInstanceMarker::DefaultPath(kName),
            "/tmp/TALU_NETWORK_CHECK_2.0-" + std::to_string(getuid()) + ".lock");
  setenv("XDG_RUNTIME_DIR", "relative/dir", 1);  // not a usable runtime directory
  EXPECT_EQ(SingleInstanceMarker::DefaultPath(kName).rfind("/tmp/", 0), 0u);
  if (restore) setenv("XDG_RUNTIME_DIR", restore->c_str(), 1);
  else unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace talu::platform
