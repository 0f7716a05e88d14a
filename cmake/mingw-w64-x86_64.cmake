# Cross-compiles for 64-bit Windows with Debian's mingw-w64, POSIX-threads flavour (the worker's
# std::mutex and std::condition_variable need it). Libraries for Windows are found only under
# CMAKE_PREFIX_PATH, never on the build machine; programs (Qt's moc, uic, rcc) run on it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(COLVANE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${COLVANE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${COLVANE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${COLVANE_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${COLVANE_MINGW} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
