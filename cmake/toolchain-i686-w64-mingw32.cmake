set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QV_TRIPLET i686-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex. Linked with -static, so
# no winpthread DLL goes beside the program.
set(CMAKE_C_COMPILER   ${QV_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${QV_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QV_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
