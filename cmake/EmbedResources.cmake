# kelvo_embed_resources(<target> <id> <file> [<id> <file> ...])
#
# Compiles each file into <target> as a byte array, for
# resources/linux/embedded_resources.cpp. File <id> becomes
# ${PROJECT_BINARY_DIR}/generated/kelvo_resource_<id>.cpp, which defines
#   const unsigned char kelvo::video::embedded::resource<id>[];
#   const size_t        kelvo::video::embedded::resource<id>Size;
# and is generated again whenever the file (or this script) changes.
#
# The same file run with `cmake -DINPUT=... -DOUTPUT=... -DID=... -P` writes
# one such source; the build runs it that way.

if(CMAKE_SCRIPT_MODE_FILE)
  foreach(var INPUT OUTPUT ID)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "EmbedResources: ${var} is not set")
    endif()
  endforeach()
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  if(size EQUAL 0)
    # A zero-length array is not C++; keep one byte and report size 0.
    set(bytes "0x00,")
  else()
    # 16 bytes a line, then every byte as 0xNN.
    string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  endif()
  get_filename_component(name "${INPUT}" NAME)
  file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${name} by cmake/EmbedResources.cmake; do not edit.\n"
    "#include <cstddef>\n\n"
    "namespace kelvo::video::embedded {\n"
    "extern const unsigned char resource${ID}[];\n"
    "extern const size_t resource${ID}Size;\n"
    "alignas(16) const unsigned char resource${ID}[] = {\n${bytes}\n};\n"
    "const size_t resource${ID}Size = ${size};\n"
    "}  // namespace kelvo::video::embedded\n")
  file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
  return()
endif()

function(kelvo_embed_resources target)
  set(pairs ${ARGN})
  list(LENGTH pairs count)
  math(EXPR odd "${count} % 2")
  if(count EQUAL 0 OR odd)
    message(FATAL_ERROR "kelvo_embed_resources: expected <id> <file> pairs")
  endif()
  set(out_dir ${PROJECT_BINARY_DIR}/generated)
  file(MAKE_DIRECTORY ${out_dir})
  while(pairs)
    list(POP_FRONT pairs id file)
    set(out ${out_dir}/kelvo_resource_${id}.cpp)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DID=${id}
              -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      DEPENDS ${file} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      COMMENT "Embedding ${file}"
      VERBATIM)
    target_sources(${target} PRIVATE ${out})
  endwhile()
endfunction()
