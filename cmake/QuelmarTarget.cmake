# Settings every target of the project takes, set on the target itself so
# that third-party code built alongside (GoogleTest under the cross build)
# keeps its own.
#
# Includes go from the repository root ("usbio/UsbDevice.h"); PUBLIC, so a
# target that links a project library can include its headers.
set(QUELMAR_WARNINGS -Wall -Wextra -Wpedantic -Werror)
# GCC 12 reports overlaps that cannot happen in std::string's own code at -O3
# (GCC bug 105329); that check is off for those compilers.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND QUELMAR_WARNINGS -Wno-restrict)
endif()

function(quelmar_target_defaults)
  foreach(target ${ARGN})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${target} PRIVATE ${QUELMAR_WARNINGS})
  endforeach()
endfunction()
