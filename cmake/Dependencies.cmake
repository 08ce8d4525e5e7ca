# Debian packages the build links against (installed by scripts/setup).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(TIFF REQUIRED)
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
find_package(CURL REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(OpenSSL REQUIRED)

pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(GLESV2 REQUIRED IMPORTED_TARGET glesv2)
pkg_check_modules(EGL REQUIRED IMPORTED_TARGET egl)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(TINYXML2 REQUIRED IMPORTED_TARGET tinyxml2)
pkg_check_modules(XXHASH REQUIRED IMPORTED_TARGET libxxhash)
pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp)
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
pkg_check_modules(OPENAL REQUIRED IMPORTED_TARGET openal)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
# Web pages in the game (the web view widget, the web sign-in) show through
# WebKitGTK when it is there; without it they are recorded, not shown.
pkg_check_modules(WEBKIT QUIET IMPORTED_TARGET webkit2gtk-4.1)
option(STARGRID_WEBKIT "Show web pages through WebKitGTK" ${WEBKIT_FOUND})
if(STARGRID_WEBKIT AND NOT WEBKIT_FOUND)
  message(FATAL_ERROR "STARGRID_WEBKIT is on but webkit2gtk-4.1 was not found")
endif()
# The loopback HTTP server of the HTTP tests and benchmark.
pkg_check_modules(CPPHTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)

# uthash is header-only.
find_path(UTHASH_INCLUDE_DIR uthash.h REQUIRED)

find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)
