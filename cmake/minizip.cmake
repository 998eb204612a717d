# minizip 1.1 from Debian's source package "minizip" (1.1-8+deb12u1, with
# Debian's security patches), fetched once into the build folder with
# apt-get source (tools/setup-debian.sh adds the deb-src entries), built over
# Debian's static mingw zlib.
set(MINIZIP_VERSION "1.1-8+deb12u1")
set(MINIZIP_DIR ${CMAKE_BINARY_DIR}/_deps/minizip)
set(MINIZIP_SRC "" CACHE PATH "unpacked minizip-1.1 source tree (fetched when empty)")

if(NOT MINIZIP_SRC)
  set(MINIZIP_SRC ${MINIZIP_DIR}/minizip-1.1)
  if(NOT EXISTS ${MINIZIP_SRC}/zip.c)
    file(MAKE_DIRECTORY ${MINIZIP_DIR})
    execute_process(COMMAND apt-get source --download-only -qq "minizip=${MINIZIP_VERSION}"
                    WORKING_DIRECTORY ${MINIZIP_DIR} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "apt-get source minizip=${MINIZIP_VERSION} failed (${rc}); "
                          "run tools/setup-debian.sh as root first")
    endif()
    # Unpacking checks the .dsc digests and applies Debian's patches.
    execute_process(COMMAND dpkg-source -x minizip_${MINIZIP_VERSION}.dsc minizip-1.1
                    WORKING_DIRECTORY ${MINIZIP_DIR} RESULT_VARIABLE rc OUTPUT_QUIET)
    if(NOT rc EQUAL 0 OR NOT EXISTS ${MINIZIP_SRC}/zip.c)
      message(FATAL_ERROR "dpkg-source -x minizip_${MINIZIP_VERSION}.dsc failed (${rc})")
    endif()
  endif()
endif()

add_library(minizip STATIC ${MINIZIP_SRC}/ioapi.c ${MINIZIP_SRC}/iowin32.c
                           ${MINIZIP_SRC}/zip.c ${MINIZIP_SRC}/unzip.c)
target_include_directories(minizip SYSTEM PUBLIC ${MINIZIP_SRC})
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
target_compile_options(minizip PRIVATE -w)
