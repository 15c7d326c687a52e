# vv_gfx: the OpenGL device (window context or surfaceless EGL + framebuffer object), states, transforms,
# materials, textures, meshes, the overlay font and the frames' clock.
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL)
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
find_package(glm CONFIG QUIET)

add_library(vv_gfx STATIC
  ${CMAKE_CURRENT_LIST_DIR}/device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/font.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gfx_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gfx_matrix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gfx_clock.cpp)
target_include_directories(vv_gfx PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vv_gfx
  PUBLIC vv_xfile vv_image vv_sys
  PRIVATE OpenGL::OpenGL OpenGL::EGL Freetype::Freetype Fontconfig::Fontconfig vv_warnings)
if(TARGET glm::glm)
  target_link_libraries(vv_gfx PRIVATE glm::glm)
endif()
vv_forbid_qt(vv_gfx)

if(VV_TESTS)
  vv_add_tests(vv_gfx_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/gfx_device_tests.cpp LIBS vv_gfx OpenGL::OpenGL)
endif()
