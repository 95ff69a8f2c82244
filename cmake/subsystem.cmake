# Each folder under src/ is one subsystem: an object library made of every .cpp
# in it, so that a new file needs no edit here. The shared library and the
# tests are put together from these object libraries.
function(vendrel_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    set(sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(vendrel_${name} OBJECT ${sources})
  target_include_directories(vendrel_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
  foreach(dep ${ARG_DEPENDS})
    target_link_libraries(vendrel_${name} PUBLIC vendrel_${dep})
  endforeach()
endfunction()

# One test program per subsystem, from every .cpp in tests/<name>/.
function(vendrel_subsystem_tests name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(tests_${name} ${sources})
  target_link_libraries(tests_${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(tests_${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(tests_${name} PRIVATE
    VENDREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VENDREL_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  gtest_discover_tests(tests_${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name})
endfunction()
