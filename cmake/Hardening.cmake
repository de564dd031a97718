# Debian's hardening flags, asked of dpkg-buildflags as a Debian package build
# would: fortified C library calls (_FORTIFY_SOURCE), the stack protector,
# format-string checks, and RELRO with immediate binding; Debian's compiler
# makes position-independent executables by itself. Optimisation and debug
# information stay the build type's, and the build paths are mapped by the
# top CMakeLists.txt, so those of dpkg-buildflags' flags are left out.
find_program(MOONGLOW_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT MOONGLOW_DPKG_BUILDFLAGS)
  message(FATAL_ERROR "MOONGLOW_HARDEN needs dpkg-buildflags (package dpkg-dev), "
                      "or configure with -DMOONGLOW_HARDEN=OFF")
endif()

set(ENV{DEB_BUILD_MAINT_OPTIONS} "hardening=+all reproducible=-fixfilepath,-fixdebugpath")
set(ENV{DEB_CXXFLAGS_MAINT_STRIP} "-g -O2")
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND ${MOONGLOW_DPKG_BUILDFLAGS} --get ${kind}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(MOONGLOW_HARDENING_${kind} ${flags})
endforeach()
unset(ENV{DEB_BUILD_MAINT_OPTIONS})
unset(ENV{DEB_CXXFLAGS_MAINT_STRIP})

add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:${MOONGLOW_HARDENING_CPPFLAGS};${MOONGLOW_HARDENING_CXXFLAGS}>")
add_link_options(${MOONGLOW_HARDENING_LDFLAGS})
message(STATUS "Hardening: ${MOONGLOW_HARDENING_CPPFLAGS} ${MOONGLOW_HARDENING_CXXFLAGS} ${MOONGLOW_HARDENING_LDFLAGS}")
