# Sourced: the CMake arguments of a build with Debian's hardening flags, as
# Debian builds its packages (stack protector, FORTIFY, full RELRO, BIND_NOW),
# in the array hardened_cmake_args. CMake ignores CPPFLAGS, so they go into
# CMAKE_CXX_FLAGS with CXXFLAGS, or FORTIFY would be lost.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
hardened_cmake_args=(
  -DCMAKE_BUILD_TYPE=Release
  # -O2 as Debian builds: gcc 12 at -O3 warns falsely (-Wrestrict) inside the standard library.
  "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
)
