# vv_xfile: our reader of DirectX .x meshes (text, binary, MSZIP-compressed). No Qt, no GL.
find_package(ZLIB REQUIRED)
add_library(vv_xfile STATIC
  ${CMAKE_CURRENT_LIST_DIR}/xfile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xfile_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xfile_binary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xfile_inflate.cpp)
target_include_directories(vv_xfile PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vv_xfile PUBLIC vv_sys PRIVATE ZLIB::ZLIB vv_warnings)
vv_forbid_qt(vv_xfile)

if(VV_TESTS)
  find_package(assimp REQUIRED)
  vv_add_tests(vv_xfile_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/xfile_tests.cpp LIBS vv_xfile assimp::assimp ZLIB::ZLIB)
endif()
