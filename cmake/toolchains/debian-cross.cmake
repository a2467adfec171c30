# What the Debian cross toolchains share, for a triplet set by the file that includes this one:
# Debian's cross compiler for it, the unit architecture's libraries and CMake packages from
# multiarch (/usr/lib/<triplet>, beside the build machine's own), and qemu-user to run what is
# built. Qt's moc, rcc and uic come from the build machine's qt6-base-dev-tools, where the
# target's Qt6*Tools packages point.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VELKOR_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VELKOR_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELKOR_CROSS_TRIPLET})
# The build machine's pkg-config, reading only the target's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${VELKOR_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)

# Tests, test discovery and scripts/demo.sh run the built programs through this, so the build
# machine needs no binfmt_misc registration. The target's own C library (libc6:<arch>, which
# its Qt brings) is where the programs' loader looks, so qemu needs no -L.
find_program(VELKOR_CROSS_QEMU_PROGRAM ${VELKOR_CROSS_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELKOR_CROSS_QEMU_PROGRAM}
  CACHE STRING "Runs the built programs on the build machine")
