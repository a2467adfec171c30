# 32-bit ARM head units with a hardware floating point unit (Debian armhf).
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VELKOR_CROSS_TRIPLET arm-linux-gnueabihf)
set(VELKOR_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
# GCC notes at every std::map of JSON that argument passing changed in GCC 7.1; everything here
# is built with one compiler, so the note says nothing.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
