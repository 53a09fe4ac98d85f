// The main of every test program: a headless Qt application (or one on the X display that
// xvfb-run provides, for the tests that need one) and a temporary TALVO_HOME, so that no test
// touches the files beside the test program. Built with TALVO_TEST_CORE for the tests of the
// libraries without widgets: a Qt Gui application with the programs' numeric locale.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>

#ifdef TALVO_TEST_CORE
#include <QGuiApplication>
#include <clocale>
#else
#include "platform/Application.h"
#endif

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

#ifdef TALVO_TEST_CORE
  QGuiApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
#else
  platform::Application app(argc, argv);
#endif
  int result = RUN_ALL_TESTS();
  if (!home.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  return result;
}
