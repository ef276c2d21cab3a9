# The launcher's start-up benchmark: build/<preset>/bin/fennorworks-launch-bench [iterations].
add_executable(launcher-bench-trivial-application bench/TrivialApplication.c)
add_executable(fennorworks-launch-bench bench/LaunchBenchmark.cpp)
add_dependencies(fennorworks-launch-bench fennorworks-launcher launcher-bench-trivial-application)
target_compile_definitions(fennorworks-launch-bench PRIVATE
  "LAUNCHER_PATH=\"$<TARGET_FILE:fennorworks-launcher>\""
  "TRIVIAL_APPLICATION_PATH=\"$<TARGET_FILE:launcher-bench-trivial-application>\"")
