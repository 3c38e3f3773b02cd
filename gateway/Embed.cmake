# Writes OUTPUT, a C++ file that holds each of the FILES (pairs of "URL-path=file") as bytes,
# with EmbeddedFile() over them. Run at build time, so editing a console file rebuilds it.
set(body "// Generated from the gateway's console and OpenAPI files; do not edit.\n#include \"Resources.h\"\n\nnamespace gateway {\nnamespace {\n")
set(table "")
set(index 0)
foreach(entry IN LISTS FILES)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 url)
  list(GET parts 1 file)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND body "const unsigned char kData${index}[] = {\n${bytes}0};\n")
  if(file MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(file MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  elseif(file MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(file MATCHES "\\.json$")
    set(type "application/json; charset=utf-8")
  elseif(file MATCHES "\\.svg$")
    set(type "image/svg+xml")
  else()
    set(type "application/octet-stream")
  endif()
  string(APPEND table "    {\"${url}\", \"${type}\", kData${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "const Resource kResources[] = {\n${table}};\n}  // namespace\n\n"
       "const Resource* EmbeddedFile(const std::string& path) {\n"
       "  for (const Resource& resource : kResources) {\n"
       "    if (path == resource.path) return &resource;\n"
       "  }\n"
       "  return nullptr;\n"
       "}\n\n}  // namespace gateway\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
