# 64-bit ARM head units (Debian arm64).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VELKOR_CROSS_TRIPLET aarch64-linux-gnu)
set(VELKOR_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
