# The tests of the Windows build: the units that need no Linux peer, the
# Windows sides of the platform layer (*Win32Test.cpp), and the command
# line end to end against a loopback server. Each test program is one CTest
# test run through Wine (the cross-compiling emulator): starting Wine once
# per test case would cost more than the tests.
find_package(Threads REQUIRED)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(MAILSORTELLO_TEST_LIBS appcore mapi smtp message net platform core)
set(portable_tests
  ActivityLogTest ComponentTest IdBufferTest IdCoderMIMETest IdEMailAddressTest IdHMACMD5Test
  IdHashMessageDigestTest IdMIMEBoundaryTest IdReplySMTPTest IdReplyTest IdDataPhaseInterceptTest
  IdSASLCRAMMD5Test SecureWipeTest StringListTest TextHelpersTest DynamicLibraryTest)
file(GLOB windows_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Win32Test.cpp)
foreach(name ${portable_tests})
  list(APPEND windows_tests ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
endforeach()

foreach(src ${windows_tests})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE MAILSORTELLO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${MAILSORTELLO_TEST_LIBS} gmock gtest_main Threads::Threads)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "WINEDEBUG=-all")
endforeach()

# One Wine prefix for every test, made before the first of them runs, so
# that no test pays for it or races another one to create it.
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
add_test(NAME WinePrefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init)
set_tests_properties(WinePrefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300
                     ENVIRONMENT "WINEPREFIX=${wine_prefix};WINEDEBUG=-all")
get_property(wine_tests DIRECTORY PROPERTY TESTS)
list(REMOVE_ITEM wine_tests WinePrefix)
set_tests_properties(${wine_tests} PROPERTIES FIXTURES_REQUIRED wine
                     ENVIRONMENT "WINEPREFIX=${wine_prefix};WINEDEBUG=-all")

# The command line end to end; the Linux build's program, when it is there,
# must print the same log and end with the same status.
set(MAILSORTELLO_LINUX_CLI "${PROJECT_SOURCE_DIR}/build/app/mailsortello-cli" CACHE FILEPATH
    "The Linux command line to compare with")
add_test(NAME CliUnderWine
         COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/windows/cli_under_wine.py
                 --exe $<TARGET_FILE:mailsortello-cli> --linux-cli ${MAILSORTELLO_LINUX_CLI})
set_tests_properties(CliUnderWine PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
                     ENVIRONMENT "WINEPREFIX=${wine_prefix};WINEDEBUG=-all")
