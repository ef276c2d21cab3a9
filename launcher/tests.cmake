# Host tests of the launcher: the parser, install resolution under the Linux and the macOS rules, and
# the real program run against a fake application.

fennor_add_gtest(launcher-cli-tests
  SOURCES cli/tests/ParseArgumentsTest.cpp cli/tests/HelpTextsTest.cpp
  LIBRARIES fennor_launcher_cli
  LABELS launcher)

fennor_add_gtest(launcher-resolution-tests
  SOURCES launcher/tests/InstallLocationsTest.cpp launcher/tests/LinuxResolutionTest.cpp
  LIBRARIES fennor_launcher_core
  LABELS launcher)

# The same resolution code built with the macOS rules, so the macOS candidates and messages are
# exercised here.
add_library(fennor_launcher_resolution_macos_rules STATIC launcher/InstallResolution.cpp)
target_include_directories(fennor_launcher_resolution_macos_rules PUBLIC
  "${CMAKE_CURRENT_SOURCE_DIR}")
target_compile_definitions(fennor_launcher_resolution_macos_rules PRIVATE
  WORKS_LAUNCHER_MACOS_RULES=1)
fennor_add_gtest(launcher-macos-resolution-tests
  SOURCES launcher/tests/MacosResolutionTest.cpp
  LIBRARIES fennor_launcher_resolution_macos_rules
  LABELS launcher)

# The application stand-in the program tests start.
add_executable(launcher-fake-application tests/fixtures/FakeApplication.cpp)

fennor_add_gtest(launcher-program-tests
  SOURCES tests/ProgramTestSupport.cpp tests/ProgramCommandLineTest.cpp
          tests/ProgramResolutionTest.cpp tests/ProgramLaunchTest.cpp
          tests/ProgramSignalsTest.cpp
  LABELS launcher)
add_dependencies(launcher-program-tests fennorworks-launcher launcher-fake-application)
target_compile_definitions(launcher-program-tests PRIVATE
  "LAUNCHER_PATH=\"$<TARGET_FILE:fennorworks-launcher>\""
  "FAKE_APPLICATION_PATH=\"$<TARGET_FILE:launcher-fake-application>\"")
target_link_libraries(launcher-program-tests PRIVATE fennor_launcher_cli)
