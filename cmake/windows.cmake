# The Windows build, included by the top-level CMakeLists.txt.
#
# Wide-character Windows API throughout (text and paths are UTF-8 inside the
# program and UTF-16 at the system calls), Windows 10 as the oldest system,
# and the C++ runtime linked in, so the programs need no MinGW DLL.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_compile_options(-Wall -Wextra)
add_link_options(-static -static-libgcc -static-libstdc++)
find_package(Threads REQUIRED)

enable_testing()

# GoogleTest from Debian's source package, built with the cross compiler.
set(PELKORAN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${PELKORAN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# Each test program is one test under Wine, with a Wine prefix of the build's
# own and Japanese as the user's language (code page 932). WINDOW: the
# program shows windows, so it runs on a virtual display (xvfb-run).
find_program(PELKORAN_XVFB_RUN xvfb-run)
function(pelkoran_wine_test target)
    # A Wine prefix's first program decides its display for the others, so
    # the programs with windows have a prefix of their own.
    if(ARGV1 STREQUAL "WINDOW")
        add_test(NAME ${target} COMMAND ${PELKORAN_XVFB_RUN} -a ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:${target}>)
        set(prefix ${CMAKE_BINARY_DIR}/wineprefix-display)
    else()
        add_test(NAME ${target} COMMAND ${target})
        set(prefix ${CMAKE_BINARY_DIR}/wineprefix)
    endif()
    set_tests_properties(${target} PROPERTIES TIMEOUT 600 ENVIRONMENT
        "WINEPREFIX=${prefix};WINEDEBUG=-all;LANG=ja_JP.UTF-8;LC_ALL=ja_JP.UTF-8")
endfunction()

set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
foreach(dir src/archiver src/wintext src/settings src/batch src/cli src/win src/windll)
    add_subdirectory(${dir})
endforeach()
add_subdirectory(tests/windows)
