# efi_add_test(NAME <name> SOURCES <files...> LIBS <layers...> [WINDOWS_ONLY]
#              [RUNS_EFLOAD])
# One GoogleTest executable, linked with the layers it tests and the shared
# test support (tests/support). RUNS_EFLOAD: it starts this build's efload.
# Natively each test case is its own CTest test; in the Windows build the
# whole executable is one CTest test run under Wine (listing the cases would
# mean starting Wine at build time).
include(CTest)
include(GoogleTest)

function(efi_add_test)
  cmake_parse_arguments(T "WINDOWS_ONLY;RUNS_EFLOAD" "NAME" "SOURCES;LIBS" ${ARGN})
  if(T_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} efi_test_support GTest::gtest GTest::gmock
                                          GTest::gtest_main)
  if(T_RUNS_EFLOAD)
    add_dependencies(${T_NAME} efload)
    target_compile_definitions(${T_NAME} PRIVATE EFLOAD_PATH="$<TARGET_FILE:efload>")
  endif()
  target_compile_definitions(${T_NAME} PRIVATE
    EFI_SOURCE_DIR="${PROJECT_SOURCE_DIR}" EFI_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(WIN32)
    # GoogleTest's main() is the narrow one: no -municode (wmain) for tests.
    get_target_property(link_options ${T_NAME} LINK_OPTIONS)
    if(link_options)
      list(REMOVE_ITEM link_options -municode)
      set_target_properties(${T_NAME} PROPERTIES LINK_OPTIONS "${link_options}")
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "EFI_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endif()
endfunction()
