# Each src/ folder is one static library. Sources are picked by their suffix:
# *_win.cpp only in the Windows build, *_posix.cpp only in the native build,
# everything else in both.
function(zm_platform_sources out dir)
    file(GLOB all CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.c")
    set(result "")
    foreach(f IN LISTS all)
        get_filename_component(name "${f}" NAME_WE)
        if(name MATCHES "_win$" OR name MATCHES "_win_test$")
            if(WIN32)
                list(APPEND result "${f}")
            endif()
        elseif(name MATCHES "_posix$" OR name MATCHES "_posix_test$")
            if(NOT WIN32)
                list(APPEND result "${f}")
            endif()
        else()
            list(APPEND result "${f}")
        endif()
    endforeach()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

# zm_add_module(name [EXCLUDE regex] DEPENDS dep...) builds src/<name> into the library zm_<name>.
function(zm_add_module name)
    cmake_parse_arguments(ARG "" "EXCLUDE" "DEPENDS;LIBS" ${ARGN})
    zm_platform_sources(srcs "${CMAKE_CURRENT_SOURCE_DIR}")
    if(ARG_EXCLUDE)
        list(FILTER srcs EXCLUDE REGEX "${ARG_EXCLUDE}")
    endif()
    if(srcs)
        add_library(zm_${name} STATIC ${srcs})
        set(scope PUBLIC)
    else()
        # A subsystem whose first sources are still to come.
        add_library(zm_${name} INTERFACE)
        set(scope INTERFACE)
    endif()
    target_include_directories(zm_${name} ${scope} "${PROJECT_SOURCE_DIR}/src")
    foreach(dep IN LISTS ARG_DEPENDS)
        target_link_libraries(zm_${name} ${scope} zm_${dep})
    endforeach()
    if(ARG_LIBS)
        target_link_libraries(zm_${name} ${scope} ${ARG_LIBS})
    endif()
endfunction()

# zm_add_test_program(name DEPENDS module... [THREADS]) builds tests/<name>
# into one GoogleTest program and registers it with CTest. In the Windows
# build CTest runs it through the Wine emulator script. THREADS labels it
# "threads": the native-tsan preset runs those under ThreadSanitizer.
function(zm_add_test_program name)
    cmake_parse_arguments(ARG "THREADS" "" "DEPENDS;LIBS" ${ARGN})
    zm_platform_sources(srcs "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT srcs)
        return()
    endif()
    add_executable(${name}_tests ${srcs})
    foreach(dep IN LISTS ARG_DEPENDS)
        target_link_libraries(${name}_tests PRIVATE zm_${dep})
    endforeach()
    target_link_libraries(${name}_tests PRIVATE ${ARG_LIBS} zm_test_support GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name}_tests)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
    if(ARG_THREADS)
        set_tests_properties(${name} PROPERTIES LABELS threads)
    endif()
endfunction()

# zm_split_debug_info(target): the executable we ship goes out optimised and
# without debug information inside it (self-update downloads it with every
# release). Its symbols stay beside it in <file>.debug, which the executable
# names by a debug link, so crash dumps can be read with them.
function(zm_split_debug_info target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND "${CMAKE_OBJCOPY}" --only-keep-debug "$<TARGET_FILE_NAME:${target}>" "$<TARGET_FILE_NAME:${target}>.debug"
        COMMAND "${CMAKE_OBJCOPY}" --strip-all "--add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug"
                "$<TARGET_FILE_NAME:${target}>"
        WORKING_DIRECTORY "$<TARGET_FILE_DIR:${target}>"
        VERBATIM)
endfunction()
