# What identifies the product in the programs: the version from
# project(efimport VERSION ...) and the icon.
#   efi_product                an interface library: #include "efimport/product.h"
#                              (EFI_VERSION_TEXT and friends)
#   efi_add_program_resources(<target> DESCRIPTION <text>)
#                              Windows: the program's icon and VERSIONINFO
#                              (cmake/program.rc.in), compiled into <target>
set(EFI_PRODUCT_INCLUDE_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/product.h.in ${EFI_PRODUCT_INCLUDE_DIR}/efimport/product.h @ONLY)
add_library(efi_product INTERFACE)
target_include_directories(efi_product INTERFACE ${EFI_PRODUCT_INCLUDE_DIR})

set(EFI_PROGRAM_ICON ${PROJECT_SOURCE_DIR}/src/app/icon/efimport.ico)

function(efi_add_program_resources target)
  cmake_parse_arguments(R "" "DESCRIPTION" "" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  set(EFI_RC_DESCRIPTION ${R_DESCRIPTION})
  set(EFI_RC_INTERNAL_NAME ${target})
  set(EFI_RC_FILE_NAME ${target}.exe)
  set(EFI_RC_ICON ${EFI_PROGRAM_ICON})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_program.rc)
  set(obj ${CMAKE_CURRENT_BINARY_DIR}/${target}_program_res.o)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/program.rc.in ${rc} @ONLY)
  add_custom_command(OUTPUT ${obj}
    COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${EFI_PRODUCT_INCLUDE_DIR} ${rc} -o ${obj}
    DEPENDS ${rc} ${EFI_PRODUCT_INCLUDE_DIR}/efimport/product.h ${EFI_PROGRAM_ICON}
    COMMENT "Compiling the icon and version of ${target}.exe")
  set_source_files_properties(${obj} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${obj})
endfunction()
