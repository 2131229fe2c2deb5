# The static libraries of tavrix.exe in the 32-bit Windows build, cross-built
# by scripts/build-windows-deps.sh into a prefix outside the checkout.
# Defines ZLIB::ZLIB, TIFF::TIFF, PNG::PNG and DCMTK::ofstd, DCMTK::oflog,
# DCMTK::dcmdata, DCMTK::dcmimgle, DCMTK::dcmnet, and sets
# TAVRIX_WINDOWS_DEPS_FOUND. Whatever links them is linked with -static, so
# that it needs no MinGW runtime DLL (libstdc++, libgcc, winpthread).
set(_default_prefix "$ENV{TAVRIX_WINDOWS_DEPS}")
if(NOT _default_prefix)
  set(_default_prefix /opt/tavrix-windows-deps)
endif()
set(TAVRIX_WINDOWS_DEPS "${_default_prefix}" CACHE PATH
  "Prefix of the Windows libraries built by scripts/build-windows-deps.sh")
option(TAVRIX_REQUIRE_WINDOWS_DEPS "Fail when the Windows libraries are missing" OFF)

set(TAVRIX_WINDOWS_DEPS_FOUND FALSE)
if(NOT EXISTS "${TAVRIX_WINDOWS_DEPS}/tavrix-windows-deps.stamp")
  set(_message "no Windows libraries in ${TAVRIX_WINDOWS_DEPS} (run scripts/build-windows-deps.sh)")
  if(TAVRIX_REQUIRE_WINDOWS_DEPS)
    message(FATAL_ERROR "${_message}")
  endif()
  message(STATUS "${_message}; what needs them is left out")
  return()
endif()
set(TAVRIX_WINDOWS_DEPS_FOUND TRUE)
message(STATUS "Windows libraries: ${TAVRIX_WINDOWS_DEPS}")

add_library(tavrix_windows_static_runtime INTERFACE)
target_link_options(tavrix_windows_static_runtime INTERFACE -static)

# One imported static library: name, file under lib/, what it links.
function(_tavrix_windows_library name file)
  set(_path "${TAVRIX_WINDOWS_DEPS}/lib/${file}")
  if(NOT EXISTS "${_path}")
    message(FATAL_ERROR "${_path} is missing; rebuild with scripts/build-windows-deps.sh")
  endif()
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION "${_path}"
    INTERFACE_INCLUDE_DIRECTORIES "${TAVRIX_WINDOWS_DEPS}/include"
    INTERFACE_LINK_LIBRARIES "${ARGN};tavrix_windows_static_runtime")
endfunction()

# zlib from Debian's libz-mingw-w64-dev, its static archive, never libz.dll.a.
find_file(TAVRIX_WINDOWS_ZLIB libz.a PATHS /usr/i686-w64-mingw32/lib NO_DEFAULT_PATH REQUIRED)
add_library(ZLIB::ZLIB STATIC IMPORTED GLOBAL)
set_target_properties(ZLIB::ZLIB PROPERTIES
  IMPORTED_LOCATION "${TAVRIX_WINDOWS_ZLIB}"
  INTERFACE_INCLUDE_DIRECTORIES /usr/i686-w64-mingw32/include)

_tavrix_windows_library(TIFF::TIFF libtiff.a ZLIB::ZLIB)
_tavrix_windows_library(PNG::PNG libpng16.a ZLIB::ZLIB)
# DCMTK's own order of dependence, and the Windows libraries it calls
# (sockets, network adapters, the host name).
_tavrix_windows_library(DCMTK::ofstd libofstd.a iphlpapi ws2_32 netapi32 wsock32)
_tavrix_windows_library(DCMTK::oflog liboflog.a DCMTK::ofstd)
_tavrix_windows_library(DCMTK::dcmdata libdcmdata.a DCMTK::oflog DCMTK::ofstd ZLIB::ZLIB)
_tavrix_windows_library(DCMTK::dcmimgle libdcmimgle.a DCMTK::dcmdata)
_tavrix_windows_library(DCMTK::dcmnet libdcmnet.a DCMTK::dcmdata)
