# Two real images for the PE layout tests, linked by mingw-w64 from one tiny source: PE32 by the
# i686 compiler and PE32+ by the x86_64 one, each with an exported function, a version resource,
# a CodeView record (--build-id) and a link time stamp. They are linked without the C runtime, so
# their layout does not move with the runtime's version, and built on the build machine in every
# build (under Wine the tests read them through Z:).
#
# tandrel_add_pe_images(TARGET DIR_VARIABLE): a target that builds DIR/pe32.exe and
# DIR/pe32plus.exe, and the same two linked later in DIR/later/: builds of one source that differ
# in their time stamps, checksum and CodeView GUID alone. DIR_VARIABLE is left unset when either
# compiler is missing.
find_program(TANDREL_MINGW_I686_GCC i686-w64-mingw32-gcc)
find_program(TANDREL_MINGW_I686_WINDRES i686-w64-mingw32-windres)
find_program(TANDREL_MINGW_X86_64_GCC x86_64-w64-mingw32-gcc)
find_program(TANDREL_MINGW_X86_64_WINDRES x86_64-w64-mingw32-windres)

function(tandrel_add_pe_images target dir_variable)
  if(NOT TANDREL_MINGW_I686_GCC OR NOT TANDREL_MINGW_I686_WINDRES OR NOT TANDREL_MINGW_X86_64_GCC
     OR NOT TANDREL_MINGW_X86_64_WINDRES)
    message(STATUS "mingw-w64 not found: the PE layout tests run without real images")
    return()
  endif()
  set(source ${PROJECT_SOURCE_DIR}/tests/images)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/pe-images)
  set(images)
  foreach(kind pe32 pe32plus)
    if(kind STREQUAL pe32)
      set(gcc ${TANDREL_MINGW_I686_GCC})
      set(windres ${TANDREL_MINGW_I686_WINDRES})
    else()
      set(gcc ${TANDREL_MINGW_X86_64_GCC})
      set(windres ${TANDREL_MINGW_X86_64_WINDRES})
    endif()
    set(res ${CMAKE_CURRENT_BINARY_DIR}/${kind}-version.res)
    # The link time comes from SOURCE_DATE_EPOCH, so every build makes the same two images.
    add_custom_command(OUTPUT ${dir}/${kind}.exe ${dir}/later/${kind}.exe
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/later
      COMMAND ${windres} ${source}/layout_image.rc -O coff -o ${res}
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1000000000
              ${gcc} -Os -s -nostdlib -fno-asynchronous-unwind-tables -o ${dir}/${kind}.exe
              ${source}/layout_image.c ${res} -Wl,--build-id -Wl,--insert-timestamp
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1700000000
              ${gcc} -Os -s -nostdlib -fno-asynchronous-unwind-tables -o ${dir}/later/${kind}.exe
              ${source}/layout_image.c ${res} -Wl,--build-id -Wl,--insert-timestamp
      DEPENDS ${source}/layout_image.c ${source}/layout_image.rc
      VERBATIM)
    list(APPEND images ${dir}/${kind}.exe ${dir}/later/${kind}.exe)
  endforeach()
  add_custom_target(${target} DEPENDS ${images})
  set(${dir_variable} ${dir} PARENT_SCOPE)
endfunction()

# tandrel_add_code_images(TARGET DIR_VARIABLE): a target that builds DIR/code32.exe (i686) and
# DIR/code64.exe (x86_64) from code_image.c, whose entry holds a conditional jump and a call for
# the instruction listing tests. DIR_VARIABLE is left unset when either compiler is missing.
find_program(TANDREL_MINGW_I686_OBJDUMP i686-w64-mingw32-objdump)
find_program(TANDREL_MINGW_X86_64_OBJDUMP x86_64-w64-mingw32-objdump)

function(tandrel_add_code_images target dir_variable)
  if(NOT TANDREL_MINGW_I686_GCC OR NOT TANDREL_MINGW_X86_64_GCC)
    message(STATUS "mingw-w64 not found: the instruction tests run without real images")
    return()
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/code-images)
  set(source ${PROJECT_SOURCE_DIR}/tests/images/code_image.c)
  add_custom_command(OUTPUT ${dir}/code32.exe ${dir}/code64.exe
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${TANDREL_MINGW_I686_GCC} -Os -s -nostdlib -fno-asynchronous-unwind-tables
            -o ${dir}/code32.exe ${source}
    COMMAND ${TANDREL_MINGW_X86_64_GCC} -Os -s -nostdlib -fno-asynchronous-unwind-tables
            -o ${dir}/code64.exe ${source}
    DEPENDS ${source}
    VERBATIM)
  add_custom_target(${target} DEPENDS ${dir}/code32.exe ${dir}/code64.exe)
  set(${dir_variable} ${dir} PARENT_SCOPE)
endfunction()
