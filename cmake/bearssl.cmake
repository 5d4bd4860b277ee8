# BearSSL, through which sel-forward speaks TLS: the target sel_bearssl.
#
# Natively, the workstation's static library (Debian's libbearssl-dev). For the module,
# Debian's source package of the same version (tools/fetch-bearssl puts it in
# build/deps/bearssl) compiled here by the cross compiler into a static library, so
# that the program still needs nothing but the C library. Either way only what the
# program calls is linked (sections that nothing refers to are dropped).
if(CMAKE_CROSSCOMPILING)
  set(SEL_BEARSSL_SOURCE ${PROJECT_SOURCE_DIR}/build/deps/bearssl CACHE PATH
      "BearSSL's source for the cross build (tools/fetch-bearssl fetches it)")
  if(NOT EXISTS ${SEL_BEARSSL_SOURCE}/inc/bearssl.h)
    message(FATAL_ERROR "no BearSSL source in ${SEL_BEARSSL_SOURCE}: run tools/fetch-bearssl "
                        "(or build without TLS: -DSEL_TLS=OFF)")
  endif()
  enable_language(C)
  file(GLOB_RECURSE sel_bearssl_sources CONFIGURE_DEPENDS ${SEL_BEARSSL_SOURCE}/src/*.c)
  add_library(sel_bearssl STATIC ${sel_bearssl_sources})
  # Its own code, not held to our warnings; small and fast whatever the build type,
  # as Debian builds it.
  set_property(TARGET sel_bearssl PROPERTY COMPILE_OPTIONS
               -Os -w -ffunction-sections -fdata-sections)
  target_include_directories(sel_bearssl SYSTEM PUBLIC ${SEL_BEARSSL_SOURCE}/inc)
  target_include_directories(sel_bearssl PRIVATE ${SEL_BEARSSL_SOURCE}/src)
else()
  find_library(SEL_BEARSSL_LIBRARY NAMES libbearssl.a)
  find_path(SEL_BEARSSL_INCLUDE bearssl.h PATH_SUFFIXES bearssl)
  if(NOT SEL_BEARSSL_LIBRARY OR NOT SEL_BEARSSL_INCLUDE)
    message(FATAL_ERROR "no static BearSSL: install libbearssl-dev "
                        "(or build without TLS: -DSEL_TLS=OFF)")
  endif()
  add_library(sel_bearssl STATIC IMPORTED)
  set_target_properties(sel_bearssl PROPERTIES IMPORTED_LOCATION ${SEL_BEARSSL_LIBRARY}
                        INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${SEL_BEARSSL_INCLUDE}
                        INTERFACE_INCLUDE_DIRECTORIES ${SEL_BEARSSL_INCLUDE})
endif()
