# Cross build for 64-bit Windows, for the tests only (it never ships). Test programs run
# through the 64-bit loader by its own path: the wine wrapper would pick the 32-bit one.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
