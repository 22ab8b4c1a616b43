# Turns stored descriptions into a C++ source that registers each as a resource named after its root class.
# cmake -DOUTPUT=<file.cpp> -DINPUTS=<a.desc;b.desc> -P EmbedResources.cmake
set(body "")
set(calls "")
set(n 0)
foreach(input IN LISTS INPUTS)
  file(READ "${input}" text)
  # The root object's class names the resource; comment lines may come first.
  string(REGEX MATCH "(^|\n)[ \t]*(object|inherited)[ \t]+[A-Za-z_0-9]+[ \t]*:[ \t]*([A-Za-z_0-9]+)" head "${text}")
  if(NOT head)
    message(FATAL_ERROR "${input}: the description does not start with 'object Name: TClass'")
  endif()
  set(class "${CMAKE_MATCH_3}")
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" hexlen)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
  math(EXPR size "${hexlen} / 2")
  string(APPEND body "const unsigned char kResource${n}[] = {\n    ${bytes}};\n")
  string(APPEND calls "        RegisterResource(\"${class}\", kResource${n}, ${size});\n")
  math(EXPR n "${n} + 1")
endforeach()
set(content "// Generated at build time from the stored descriptions; do not edit.
#include \"runtime/Streaming.h\"

namespace {
${body}} // namespace

namespace ql::quantilaw {
// Once per process, so that a form of a description registered later (by a test or a tool) stays.
void RegisterResources() {
    static const bool registered = [] {
${calls}        return true;
    }();
    (void)registered;
}
} // namespace ql::quantilaw
")
# Rewrite only on change so dependants are not rebuilt needlessly.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
