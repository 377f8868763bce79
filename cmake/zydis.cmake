# The instruction decoder, as the target Zydis::Zydis. Linux links Debian's shared library
# (libzydis-dev); the Windows programs link a static one that scripts/fetch-zydis.sh builds from
# Debian's source package, so the exe carries the decoder and needs no DLL of its own.
if(TARGET Zydis::Zydis)
  return()
endif()
if(WIN32)
  set(TANDREL_ZYDIS_PREFIX "${PROJECT_SOURCE_DIR}/build/third_party/zydis/${TANDREL_MINGW_TRIPLET}"
      CACHE PATH "Where the static Zydis for this Windows target lies (include/, lib/libZydis.a)")
  if(NOT EXISTS "${TANDREL_ZYDIS_PREFIX}/lib/libZydis.a")
    message(FATAL_ERROR "No static Zydis in ${TANDREL_ZYDIS_PREFIX}: run scripts/fetch-zydis.sh "
                        "(scripts/setup.sh all does) or set TANDREL_ZYDIS_PREFIX")
  endif()
  add_library(Zydis::Zydis STATIC IMPORTED GLOBAL)
  set_target_properties(Zydis::Zydis PROPERTIES
    IMPORTED_LOCATION "${TANDREL_ZYDIS_PREFIX}/lib/libZydis.a"
    INTERFACE_INCLUDE_DIRECTORIES "${TANDREL_ZYDIS_PREFIX}/include"
    INTERFACE_COMPILE_DEFINITIONS "ZYDIS_STATIC_BUILD;ZYCORE_STATIC_BUILD")
else()
  find_package(zydis 4 REQUIRED CONFIG GLOBAL)
endif()
