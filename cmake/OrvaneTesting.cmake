include(GoogleTest)

# orvane_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [SERIAL])
# One test executable per unit of behaviour; every test in it is registered with CTest. SERIAL
# tests run with nothing beside them.
function(orvane_add_test name)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  set(env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime)
  if(ORVANE_SANITIZE STREQUAL "thread")
    list(APPEND env TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp)
  elseif(ORVANE_SANITIZE MATCHES "^(address|fuzzer)$")
    list(APPEND env LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp)
  endif()
  # The discovery script splits list-valued properties, so the environment comes through `env`
  # as the test's launcher, and each test gets its first label only.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "/usr/bin/env;${env}")
  list(GET T_LABELS 0 label)
  set(serial FALSE)
  if(T_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${label}" TIMEOUT 120 RUN_SERIAL ${serial})
endfunction()
