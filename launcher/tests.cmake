# Host tests of the launcher: the parser, install resolution under the Linux and the macOS rules, and
# the real program run against a fake application.

fennor_add_gtest(launcher-cli-tests
  SOURCES cli/tests/ParseArgumentsTest.cpp cli/tests/HelpTextsTest.cpp
  LIBRARIES fennor_launcher_cli
  LABELS launcher)
