# Shared build settings and the two functions every folder uses.

add_library(kestrin_settings INTERFACE)
target_compile_features(kestrin_settings INTERFACE cxx_std_20)
target_compile_definitions(kestrin_settings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_FOREACH
  QT_USE_QSTRINGBUILDER
  QT_STRICT_ITERATORS)
if(MSVC)
  target_compile_options(kestrin_settings INTERFACE /W4 /permissive- /utf-8)
  if(KESTRIN_WERROR)
    target_compile_options(kestrin_settings INTERFACE /WX)
  endif()
else()
  target_compile_options(kestrin_settings INTERFACE -Wall -Wextra -Wpedantic)
  if(KESTRIN_WERROR)
    target_compile_options(kestrin_settings INTERFACE -Werror)
  endif()
  if(KESTRIN_SANITIZE)
    target_compile_options(kestrin_settings INTERFACE
      # GCC's "undefined" leaves out the float checks; a cast of infinity to an integer is undefined too.
      -fsanitize=address,undefined,float-cast-overflow,float-divide-by-zero
      -fno-sanitize-recover=undefined,float-cast-overflow,float-divide-by-zero -fno-omit-frame-pointer)
    target_link_options(kestrin_settings INTERFACE -fsanitize=address,undefined,float-cast-overflow,float-divide-by-zero)
  endif()
endif()

# kestrin_add_module(<module> SOURCES <files...> HEADERS <names...> DEPENDS <targets...>)
# One folder of src/ becomes the static library kestrin_<module>. Its public headers lie in
# include/<module>/ and are included as "<module>/Name.h"; that folder is all a module shows
# to those that link it, so a module can only include what it links.
function(kestrin_add_module module)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;HEADERS;DEPENDS")
  set(target kestrin_${module})
  list(TRANSFORM arg_HEADERS PREPEND include/${module}/)
  add_library(${target} STATIC ${arg_SOURCES} ${arg_HEADERS})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${target} PUBLIC kestrin_settings ${arg_DEPENDS})
endfunction()

# kestrin_add_window(<module> SOURCES <files...> HEADERS <names...> DEPENDS <targets...>)
# The windows of a station module: the library kestrin_<module>_window beside the module's
# logic library, with headers in the same include/<module>/ folder. Only the window library
# links Qt Widgets, so the logic cannot include a window by mistake: it would not compile.
# Nothing without KESTRIN_WINDOWS.
function(kestrin_add_window module)
  if(NOT KESTRIN_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;HEADERS;DEPENDS")
  set(target kestrin_${module}_window)
  list(TRANSFORM arg_HEADERS PREPEND include/${module}/)
  add_library(${target} STATIC ${arg_SOURCES} ${arg_HEADERS})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${target} PUBLIC kestrin_settings kestrin_${module} Qt6::Widgets ${arg_DEPENDS})
endfunction()

# kestrin_add_test(<name> SOURCES <files...> DEPENDS <targets...> [LABELS <labels...>])
# One QtTest executable, registered with CTest under its own name.
function(kestrin_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;DEPENDS;LABELS")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE kestrin_testsupport Qt6::Test ${arg_DEPENDS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 300
    LABELS "${arg_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTRIN_SOURCE_DIR=${PROJECT_SOURCE_DIR};KESTRIN_BINARY=$<TARGET_FILE:kestrin>")
endfunction()
