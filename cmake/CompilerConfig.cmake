# One build baseline for every target of the project.
add_library(vv_warnings INTERFACE)
target_compile_options(vv_warnings INTERFACE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports -Wrestrict falsely inside std::string's operator+ (GCC bug 105329).
  target_compile_options(vv_warnings INTERFACE -Wno-restrict)
endif()

if(VV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(VV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (use the fuzz preset)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The core libraries must never pull in Qt: they are used by the CLI and the core tests.
function(vv_forbid_qt target)
  get_target_property(_libs ${target} LINK_LIBRARIES)
  if(_libs)
    foreach(_l IN LISTS _libs)
      if(_l MATCHES "^Qt6?::")
        message(FATAL_ERROR "${target} is part of the Qt-free core but links ${_l}")
      endif()
    endforeach()
  endif()
endfunction()

# vv_add_tests(name SOURCES... LIBS...): one test executable, its cases registered with CTest.
function(vv_add_tests name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main vv_warnings)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/platform/sys/tests)
  target_compile_definitions(${name} PRIVATE
    VV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VV_PEER_MODELS="${VV_PEER_MODELS}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
