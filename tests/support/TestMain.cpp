// The main of every test program: a headless Qt application (or one on the X display that
// xvfb-run provides, for the tests that need one) and a temporary TALVO_HOME, so that no test
// touches the files beside the test program.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/Application.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (std::getenv("TALVO_TEST_DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  std::string home;
  if (std::getenv("TALVO_HOME") == nullptr) {
    char templ[] = "/tmp/talvo-test-XXXXXX";
    if (mkdtemp(templ) == nullptr) return 2;
    home = templ;
    setenv("TALVO_HOME", templ, 1);
  }

  platform::Application app(argc, argv);
  int result = RUN_ALL_TESTS();
  if (!home.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  return result;
}
