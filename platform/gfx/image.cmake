# vv_image: our DDS decoder, and BMP/PNG/TGA through stb_image (header from Debian's libstb-dev, compiled into
# image.cpp with only those three formats). No Qt, no GL: the CLI and the headless renderer use it as well.
find_path(VV_STB_INCLUDE_DIR stb/stb_image.h REQUIRED)
add_library(vv_image STATIC
  ${CMAKE_CURRENT_LIST_DIR}/image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dds.cpp)
target_include_directories(vv_image PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_include_directories(vv_image SYSTEM PRIVATE ${VV_STB_INCLUDE_DIR})
target_link_libraries(vv_image PUBLIC vv_sys PRIVATE vv_warnings)
vv_forbid_qt(vv_image)

if(VV_TESTS)
  vv_add_tests(vv_image_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/image_tests.cpp LIBS vv_image)
endif()
