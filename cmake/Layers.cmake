# Helpers shared by the layer folders. Each layer globs its own sources so that adding a file
# never needs an edit of a shared build file.

# quenlor_layer_sources(<var> <dir>...): every .cpp/.c/.h under the given folders (recursive).
function(quenlor_layer_sources var)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
      ${dir}/*.cpp ${dir}/*.c ${dir}/*.h)
    list(APPEND result ${found})
  endforeach()
  set(${var} ${result} PARENT_SCOPE)
endfunction()

# quenlor_test_suite(<name> <dir> [SUPPORT <dirs...>] LIBS <libs...>)
# Builds every *_test.cpp of <dir> (not recursive) into one GoogleTest executable and
# registers each test case with CTest. A subfolder slow/ of <dir> becomes <name>_slow with
# the label "slow"; everything else carries the label "quick". The helpers in <dir>/support
# are built into both, and so are those of each SUPPORT folder, which is on the include path
# after <dir>.
function(quenlor_test_suite name dir)
  cmake_parse_arguments(ARG "" "" "LIBS;SUPPORT" ${ARGN})
  set(support_sources)
  foreach(folder IN ITEMS ${dir} ${ARG_SUPPORT})
    file(GLOB found CONFIGURE_DEPENDS ${folder}/support/*.cpp)
    list(APPEND support_sources ${found})
  endforeach()
  foreach(kind quick slow)
    if(kind STREQUAL "quick")
      set(target ${name})
      file(GLOB sources CONFIGURE_DEPENDS ${dir}/*_test.cpp)
    else()
      set(target ${name}_slow)
      file(GLOB sources CONFIGURE_DEPENDS ${dir}/slow/*_test.cpp)
      if(NOT sources)
        continue()
      endif()
    endif()
    if(NOT sources AND NOT support_sources)
      continue()
    endif()
    add_executable(${target} ${sources} ${support_sources} ${CMAKE_SOURCE_DIR}/tests/common/test_env.cpp)
    target_include_directories(${target} PRIVATE ${dir} ${ARG_SUPPORT} ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/common)
    target_compile_definitions(${target} PRIVATE
      QUENLOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}" QUENLOR_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    gtest_discover_tests(${target}
      DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
      PROPERTIES LABELS ${kind} ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  endforeach()
endfunction()

# quenlor_layer_library(<name> DIRS <dirs...> [PUBLIC_LIBS <libs...>] [PRIVATE_LIBS <libs...>])
# A static library of every source under DIRS; include paths are the repository root, so code
# includes "runtime/exception.h", "platform/paths.h" and so on. A layer that has no sources yet
# is an interface library, so that the layers above it can already name it.
function(quenlor_layer_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  quenlor_layer_sources(sources ${ARG_DIRS})
  set(compiled ${sources})
  list(FILTER compiled INCLUDE REGEX "\\.(c|cpp)$")
  if(compiled)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC_LIBS} ${ARG_PRIVATE_LIBS})
  endif()
endfunction()
