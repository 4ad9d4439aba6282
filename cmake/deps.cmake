# Third-party code. scripts/fetch-deps puts the pinned sources into .deps/.
#   efi::sqlite3  the one SQLite amalgamation, compiled into every build
#   efi::minizip  zip reading (minizip from zlib's contrib) with zlib
#   efi::expat    XML parsing
# Natively zlib, minizip and expat are Debian's -dev packages; the Windows
# build compiles Debian's source packages of the same libraries.

set(EFI_DEPS_DIR ${PROJECT_SOURCE_DIR}/.deps CACHE PATH "Folder of fetched third-party sources")
if(NOT EXISTS ${EFI_DEPS_DIR}/sqlite/sqlite3.c)
  message(FATAL_ERROR "SQLite source missing in ${EFI_DEPS_DIR}: run scripts/setup first")
endif()

add_library(efi_sqlite3 STATIC ${EFI_DEPS_DIR}/sqlite/sqlite3.c)
target_include_directories(efi_sqlite3 SYSTEM PUBLIC ${EFI_DEPS_DIR}/sqlite)
target_compile_definitions(efi_sqlite3
  PUBLIC
    SQLITE_OMIT_DEPRECATED          # the program uses none of the deprecated API
  PRIVATE
    SQLITE_THREADSAFE=1             # serialized: safe whatever thread calls
    SQLITE_DEFAULT_FOREIGN_KEYS=0   # the connection switches them on itself
    SQLITE_DEFAULT_PAGE_SIZE=4096
    SQLITE_DEFAULT_FILE_FORMAT=4
    SQLITE_TEMP_STORE=2             # temporary tables in memory by default
    SQLITE_ENABLE_COLUMN_METADATA
    SQLITE_ENABLE_STAT4)
if(CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
  # third-party code: its warnings are not ours to fix
  target_compile_options(efi_sqlite3 PRIVATE -w)
  if(EFI_SANITIZE)
    # The engine itself is not under test; instrumenting it only slows every test.
    target_compile_options(efi_sqlite3 PRIVATE -fno-sanitize=all)
  endif()
endif()
if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(efi_sqlite3 PUBLIC Threads::Threads ${CMAKE_DL_LIBS} m)
endif()
add_library(efi::sqlite3 ALIAS efi_sqlite3)

if(WIN32)
  set(zdir ${EFI_DEPS_DIR}/zlib)
  set(xdir ${EFI_DEPS_DIR}/expat/expat)
  if(NOT EXISTS ${zdir}/inflate.c OR NOT EXISTS ${xdir}/lib/xmlparse.c)
    message(FATAL_ERROR "zlib or expat source missing in ${EFI_DEPS_DIR}: run scripts/setup first")
  endif()
  add_library(efi_zlib STATIC
    ${zdir}/adler32.c ${zdir}/crc32.c ${zdir}/inffast.c ${zdir}/inflate.c
    ${zdir}/inftrees.c ${zdir}/zutil.c ${zdir}/uncompr.c)
  target_include_directories(efi_zlib SYSTEM PUBLIC ${zdir})
  target_compile_options(efi_zlib PRIVATE -w)
  add_library(efi_minizip STATIC ${zdir}/contrib/minizip/unzip.c ${zdir}/contrib/minizip/ioapi.c
                                 ${zdir}/contrib/minizip/iowin32.c)
  # <minizip/unzip.h> as with Debian's libminizip-dev
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/include/minizip)
  foreach(h unzip.h ioapi.h iowin32.h crypt.h)
    configure_file(${zdir}/contrib/minizip/${h} ${CMAKE_BINARY_DIR}/include/minizip/${h} COPYONLY)
  endforeach()
  target_include_directories(efi_minizip SYSTEM PUBLIC ${CMAKE_BINARY_DIR}/include ${zdir}/contrib/minizip)
  target_compile_definitions(efi_minizip PRIVATE NOCRYPT NOUNCRYPT)
  target_compile_options(efi_minizip PRIVATE -w)
  target_link_libraries(efi_minizip PUBLIC efi_zlib)

  add_library(efi_expat STATIC ${xdir}/lib/xmlparse.c ${xdir}/lib/xmlrole.c ${xdir}/lib/xmltok.c)
  # the configuration expat's own build would write (little-endian x86-64, DTD
  # and namespaces on, entropy from rand_s as expat does on Windows)
  file(WRITE ${CMAKE_BINARY_DIR}/expat-config/expat_config.h
    "#define BYTEORDER 1234\n#define HAVE_MEMMOVE 1\n#define XML_CONTEXT_BYTES 1024\n#define XML_DTD 1\n#define XML_NS 1\n")
  target_include_directories(efi_expat PRIVATE ${CMAKE_BINARY_DIR}/expat-config)
  target_include_directories(efi_expat SYSTEM PUBLIC ${xdir}/lib)
  target_compile_definitions(efi_expat PUBLIC XML_STATIC)
  target_compile_options(efi_expat PRIVATE -w)
  add_library(efi::minizip ALIAS efi_minizip)
  add_library(efi::expat ALIAS efi_expat)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  find_package(EXPAT REQUIRED)
  add_library(efi::minizip ALIAS PkgConfig::MINIZIP)
  add_library(efi::expat ALIAS EXPAT::EXPAT)
endif()

# GoogleTest from Debian's googletest source package, built by each build so
# the Windows tests link a mingw-compiled copy.
if(BUILD_TESTING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
