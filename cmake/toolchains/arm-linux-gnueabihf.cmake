# 32-bit ARM head units with a hardware floating point unit (Debian armhf).
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VELKOR_CROSS_TRIPLET arm-linux-gnueabihf)
set(VELKOR_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
