# SQLite 3.40.0: the amalgamation inside the npm package sqlite3@5.1.4
# (deps/sqlite-autoconf-3400000.tar.gz), fetched once into the build folder
# and checked against pinned digests.
set(SQLITE_NPM_SPEC      "sqlite3@5.1.4")
set(SQLITE_NPM_INTEGRITY "sha512-i0UlWAzPlzX3B5XP2cYuhWQJsTtlMD6obOa1PgeEQ4DHEXUuyJkgv50I3isqZAP5oFc2T8OFvakmDh2W6I+YpA==")
set(SQLITE_NPM_SHA256    "b1c70efd09f5fff170c54129d1440b2009cdac5e41611215e7da4baab26c02fe")
set(SQLITE_TGZ_SHA256    "0333552076d2700c75352256e91c78bf5cd62491589ba0c69aed0a81868980e7")
set(SQLITE_DIR ${CMAKE_BINARY_DIR}/_deps/sqlite)
set(SQLITE_SRC ${SQLITE_DIR}/sqlite-autoconf-3400000)

if(NOT EXISTS ${SQLITE_SRC}/sqlite3.c)
  file(MAKE_DIRECTORY ${SQLITE_DIR})
  execute_process(COMMAND npm pack ${SQLITE_NPM_SPEC} --json --pack-destination ${SQLITE_DIR}
                  OUTPUT_VARIABLE pack_json RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "npm pack ${SQLITE_NPM_SPEC} failed (${rc})")
  endif()
  string(JSON integrity GET "${pack_json}" 0 integrity)
  string(JSON tgz_name  GET "${pack_json}" 0 filename)
  file(SHA256 ${SQLITE_DIR}/${tgz_name} tgz_sha)
  if(NOT integrity STREQUAL SQLITE_NPM_INTEGRITY OR NOT tgz_sha STREQUAL SQLITE_NPM_SHA256)
    message(FATAL_ERROR "${SQLITE_NPM_SPEC}: integrity ${integrity} / sha256 ${tgz_sha} are not the pinned ones")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${SQLITE_DIR}/${tgz_name} DESTINATION ${SQLITE_DIR}/npm
       PATTERNS package/deps/sqlite-autoconf-3400000.tar.gz)
  set(inner ${SQLITE_DIR}/npm/package/deps/sqlite-autoconf-3400000.tar.gz)
  file(SHA256 ${inner} inner_sha)
  if(NOT inner_sha STREQUAL SQLITE_TGZ_SHA256)
    message(FATAL_ERROR "sqlite-autoconf-3400000.tar.gz: sha256 ${inner_sha} is not the pinned one")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${inner} DESTINATION ${SQLITE_DIR}
       PATTERNS sqlite-autoconf-3400000/sqlite3.c sqlite-autoconf-3400000/sqlite3.h
                sqlite-autoconf-3400000/sqlite3ext.h)
endif()

add_library(sqlite3 STATIC ${SQLITE_SRC}/sqlite3.c)
target_include_directories(sqlite3 SYSTEM PUBLIC ${SQLITE_SRC})
# A stock build with the Windows defaults; overlapped reads cost a wineserver
# round trip per page under Wine, so they are left out.
target_compile_definitions(sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_WIN32_NO_OVERLAPPED)
set_target_properties(sqlite3 PROPERTIES C_STANDARD 99)
target_compile_options(sqlite3 PRIVATE -w)
