# Cross toolchain: the 64-bit programs that ship, with the win32-threads mingw-w64 variant. As for
# 32 bits, its runtime imports only what the first 64-bit Windows (XP x64 / Server 2003 x64)
# exports; the posix-threads runtime of the test tree would pull in later functions.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
# Only the shipped programs are built with it: the tests run from the posix-threads tree.
set(QVK9_SHIPPED_ONLY ON)
