# Cross build for 32-bit Windows, the release. Test programs run through wine (the 32-bit
# loader Debian's wrapper picks).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
