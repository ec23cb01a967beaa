# Shared part of the two mingw-w64 toolchain files: the -posix compilers (the
# -win32 ones have no std::thread in GCC 12), the sysroot, and Wine as the
# emulator through which ctest runs the Windows test programs.
set(CMAKE_C_COMPILER ${ZUB_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZUB_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZUB_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZUB_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_SYSTEM_PROCESSOR})
