# Cross toolchain: Debian's mingw-w64 for i686 with the posix thread model
# (winpthread) and DWARF-2 exceptions. The C and C++ runtimes are linked
# statically, so Folionex.exe runs under Wine or Windows with no DLL beside it.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
