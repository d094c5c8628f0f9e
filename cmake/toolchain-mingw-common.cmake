# The posix thread model is chosen explicitly: the default win32 model lacks std::thread and
# std::mutex, which GoogleTest and later code rely on.
set(CMAKE_C_COMPILER ${LUMACUT_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMACUT_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMACUT_TRIPLET}-windres)
set(CMAKE_AR ${LUMACUT_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${LUMACUT_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${LUMACUT_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Everything is linked statically so the executables carry no mingw runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
