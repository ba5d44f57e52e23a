# The HTTP test server is a Linux program, and the Windows tests that run
# under Wine talk to it. In a Windows build it is therefore built a second
# time, with the host's compiler, into <build>/native-tools; the target
# native_testserver does that and ZM_NATIVE_TESTSERVER names the program.
include_guard(GLOBAL)
include(ExternalProject)

set(ZM_NATIVE_TOOLS_DIR "${CMAKE_BINARY_DIR}/native-tools")
set(ZM_NATIVE_TESTSERVER "${ZM_NATIVE_TOOLS_DIR}/tools/testserver/testserver")

ExternalProject_Add(native_testserver
    SOURCE_DIR "${PROJECT_SOURCE_DIR}"
    BINARY_DIR "${ZM_NATIVE_TOOLS_DIR}"
    # No toolchain file: the host's own compiler.
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DZM_BUILD_TESTS=OFF -DZM_BUILD_BENCH=OFF -DZM_SANITIZE=
    BUILD_COMMAND "${CMAKE_COMMAND}" --build "${ZM_NATIVE_TOOLS_DIR}" --target testserver
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE
    BUILD_BYPRODUCTS "${ZM_NATIVE_TESTSERVER}")
