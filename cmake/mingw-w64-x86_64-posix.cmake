# Cross toolchain: Debian's mingw-w64 for x86_64 with the posix thread model.
# Folionex is a 32-bit program (mingw-w64-i686-posix.cmake); this 64-bit
# build of the same sources exists for machines whose kernel runs no 32-bit
# processes, where only a 64-bit Wine can start: the tests run it there.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
