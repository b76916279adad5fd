# Windows x86-64 with clang 14 as the compiler and MinGW-w64's headers, C++ library and linker:
# a second front end over the same code, built only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VESKARO_MINGW_TRIPLE x86_64-w64-mingw32)
set(VESKARO_MINGW_GCC_DIR /usr/lib/gcc/${VESKARO_MINGW_TRIPLE}/12-posix)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${VESKARO_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${VESKARO_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${VESKARO_MINGW_TRIPLE}-windres)
# clang does not find MinGW-w64's libstdc++ by itself.
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${VESKARO_MINGW_GCC_DIR}/include/c++
    ${VESKARO_MINGW_GCC_DIR}/include/c++/${VESKARO_MINGW_TRIPLE})
set(CMAKE_EXE_LINKER_FLAGS_INIT -L${VESKARO_MINGW_GCC_DIR})
set(CMAKE_SHARED_LINKER_FLAGS_INIT -L${VESKARO_MINGW_GCC_DIR})
set(CMAKE_MODULE_LINKER_FLAGS_INIT -L${VESKARO_MINGW_GCC_DIR})
# Linked statically, the posix-threads libstdc++ and its thread-local support need winpthread
# after them.
set(CMAKE_CXX_STANDARD_LIBRARIES "-lstdc++ -lgcc_eh -lwinpthread")
set(CMAKE_FIND_ROOT_PATH /usr/${VESKARO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
