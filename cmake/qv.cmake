# Build helpers shared by every subsystem's CMakeLists.txt.
#
# The pure logic (no windows.h) goes into qv_pure: natively it is built twice,
# plain and with ASan+UBSan, for the unit tests; in a cross build it is part of
# qv_setup_lib, the static library from which the setup program and the Wine
# tests are linked.

set(QV_WARNINGS -Wall -Wextra -Wno-missing-field-initializers)
# Known-answer data made by an independent implementation of the package format.
set(QV_TESTDATA_DIR "${CMAKE_SOURCE_DIR}/tests/data")

macro(qv_setup_native_build)
  enable_testing()
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
  set(QV_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_library(qv_pure STATIC)
  add_library(qv_pure_san STATIC)
  foreach(t qv_pure qv_pure_san)
    target_include_directories(${t} PUBLIC ${CMAKE_SOURCE_DIR})
    target_compile_options(${t} PRIVATE ${QV_WARNINGS})
  endforeach()
  target_compile_options(qv_pure_san PUBLIC ${QV_SAN_FLAGS})
  target_link_options(qv_pure_san PUBLIC ${QV_SAN_FLAGS})
  # Where the cross builds put their outputs; the Wine tests run them from there.
  set(QV_BUILD_ROOT "${CMAKE_BINARY_DIR}/.." CACHE PATH "folder that holds the native, x64 and i686 builds")
  get_filename_component(QV_BUILD_ROOT "${QV_BUILD_ROOT}" ABSOLUTE)
  set(QV_X64_DIR "${QV_BUILD_ROOT}/x64" CACHE PATH "the x86_64 cross build")
  set(QV_I686_DIR "${QV_BUILD_ROOT}/i686" CACHE PATH "the i686 cross build")
  set(QV_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "where scripts/build leaves the programs")
  set(QV_WINE_RUN "${CMAKE_SOURCE_DIR}/tests/wine/run-in-prefix")
endmacro()

macro(qv_setup_cross_build)
  # Reproducible, small, hardened, and free of runtime DLLs.
  # No -fdata-sections: MinGW then puts zero-initialised data into .data$ and
  # the file carries the whole 14 KB context record as zeros.
  set(QV_CROSS_FLAGS -Os -ffunction-sections
      "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=." "-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
  set(QV_CROSS_LINK -static -static-libgcc -static-libstdc++ -s
      -Wl,--gc-sections -Wl,--no-insert-timestamp -Wl,--dynamicbase -Wl,--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    list(APPEND QV_CROSS_LINK -Wl,--high-entropy-va)
  endif()
  # The setup program's own code (targets with QV_WIN2000 set) sees only what
  # Windows 2000 declares, so that nothing newer is imported by accident; tests
  # and product stand-ins may use Vista's declarations.
  set(qv_winver "$<IF:$<BOOL:$<TARGET_PROPERTY:QV_WIN2000>>,0x0500,0x0600>")
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=${qv_winver} WINVER=${qv_winver})
  add_compile_options(${QV_CROSS_FLAGS})
  add_link_options(${QV_CROSS_LINK})
  add_library(qv_setup_lib STATIC)
  set_target_properties(qv_setup_lib PROPERTIES QV_WIN2000 ON)
  target_include_directories(qv_setup_lib PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(qv_setup_lib PRIVATE ${QV_WARNINGS} -fno-exceptions -fno-rtti)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Nothing in the setup program throws, and 32-bit Windows walks no unwind
    # tables; x86_64 keeps them, its ABI expects them.
    target_compile_options(qv_setup_lib PRIVATE -fno-asynchronous-unwind-tables)
  endif()
  target_link_libraries(qv_setup_lib PUBLIC ole32 oleaut32 uuid shell32 advapi32 gdi32 user32 kernel32)
  # GoogleTest for the Wine tests, built from Debian's sources with this compiler.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(QV_QVPACK "" CACHE FILEPATH "the native qvpack that builds the package")
  set(QV_X64_PRODUCT_DIR "" CACHE PATH "x86_64 product stand-ins, for the 64-bit package entries of the i686 build")
endmacro()

# Pure sources: unit-tested natively, linked into the setup program when cross-building.
function(qv_pure_sources)
  if(WIN32)
    target_sources(qv_setup_lib PRIVATE ${ARGN})
  else()
    target_sources(qv_pure PRIVATE ${ARGN})
    target_sources(qv_pure_san PRIVATE ${ARGN})
  endif()
endfunction()

# Win32-layer sources: only in the cross builds.
function(qv_win_sources)
  if(WIN32)
    target_sources(qv_setup_lib PRIVATE ${ARGN})
  endif()
endfunction()

# A native GoogleTest over the pure logic: registered plain and sanitized.
function(qv_add_native_test name)
  if(WIN32)
    return()
  endif()
  foreach(variant "" "_san")
    add_executable(${name}${variant} ${ARGN})
    target_link_libraries(${name}${variant} PRIVATE qv_pure${variant} GTest::gtest_main)
    target_compile_options(${name}${variant} PRIVATE ${QV_WARNINGS})
    target_compile_definitions(${name}${variant} PRIVATE QV_TESTDATA_DIR="${QV_TESTDATA_DIR}")
    add_test(NAME native.${name}${variant} COMMAND ${name}${variant})
  endforeach()
endfunction()

# A GoogleTest over the Win32 layer: built by the x86_64 (and i686) cross build,
# run by the native ctest under wine64 in a fresh prefix copied from the template.
function(qv_add_wine_test name)
  if(WIN32)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE qv_setup_lib gtest gtest_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  else()
    add_test(NAME wine.${name} COMMAND ${QV_WINE_RUN} ${QV_X64_DIR}/tests/${name}.exe)
    set_tests_properties(wine.${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
      ENVIRONMENT "QV_WINE_STATE=${QV_BUILD_ROOT}/wine;QV_EXPECT_WOW64=0")
  endif()
endfunction()

# An end-to-end script (bash) that drives built programs under Wine.
# It gets the source root, the dist folder and the build root in its environment.
function(qv_add_e2e_test name script)
  if(WIN32)
    return()
  endif()
  add_test(NAME e2e.${name} COMMAND bash ${script} ${ARGN})
  set_tests_properties(e2e.${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900
    ENVIRONMENT "QV_WINE_STATE=${QV_BUILD_ROOT}/wine;QV_SOURCE_DIR=${CMAKE_SOURCE_DIR};QV_DIST_DIR=${QV_DIST_DIR};QV_BUILD_ROOT=${QV_BUILD_ROOT};QV_WINE_RUN=${QV_WINE_RUN}")
endfunction()
