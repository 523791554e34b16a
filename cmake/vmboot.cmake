# Shared build settings of the launcher and its tests.

# JNI declarations come from the installed JDK's jni.h; the machine-dependent part
# (calling convention, integer widths) is our own hosting/jni/jni_md.h, found first.
find_path(VMBOOT_JDK_INCLUDE jni.h
    PATHS /usr/lib/jvm/default-java/include /usr/lib/jvm/java-17-openjdk-amd64/include
    NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
set(VMBOOT_JNI_INCLUDE_DIRS ${CMAKE_SOURCE_DIR}/hosting/jni ${VMBOOT_JDK_INCLUDE})

# Splits every *.cpp of the given folders into portable and Win32 (*_win32.cpp) lists.
function(vmboot_collect_sources portable_var win32_var)
    set(portable)
    set(win32)
    foreach(dir IN LISTS ARGN)
        file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
        foreach(source IN LISTS sources)
            if(source MATCHES "_win32\\.cpp$")
                list(APPEND win32 ${source})
            else()
                list(APPEND portable ${source})
            endif()
        endforeach()
    endforeach()
    set(${portable_var} ${portable} PARENT_SCOPE)
    set(${win32_var} ${win32} PARENT_SCOPE)
endfunction()

function(vmboot_apply_common_flags target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wno-unused-parameter)
    if(WIN32)
        target_compile_definitions(${target} PUBLIC
            UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
        target_compile_options(${target} PRIVATE -municode -ffunction-sections -fdata-sections)
    endif()
    if(VMBOOT_SANITIZE AND NOT WIN32)
        target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-omit-frame-pointer
            -fno-sanitize-recover=undefined)
        target_link_options(${target} PUBLIC -fsanitize=address,undefined)
    endif()
endfunction()

# Windows executables: Unicode entry point, static C and C++ runtimes (only system DLLs
# are imported), unused sections dropped. The header is java.exe's: HotSpot gives every thread
# started without -Xss the executable's stack reserve (java.exe: 1 MiB 64-bit, 320 KiB 32-bit),
# Remote Desktop hosts apply per-user compatibility shims to programs not marked terminal-server
# aware, and the manifest starts at Vista, so the subsystem and OS versions say 6.0.
function(vmboot_apply_executable_flags target)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
        -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware
        -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
        -Wl,--major-os-version,6 -Wl,--minor-os-version,0 $<$<NOT:$<CONFIG:Debug>>:-s>)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        target_link_options(${target} PRIVATE -Wl,--high-entropy-va -Wl,--stack,0x100000)
    else()
        target_link_options(${target} PRIVATE -Wl,--stack,0x50000)
    endif()
endfunction()

# windres writes no dependency file: name what resources/vmboot.rc includes, so that a changed
# string table or dialog is compiled again. Source properties are per directory, so every
# directory that compiles the script calls this.
function(vmboot_track_resources)
    file(GLOB inputs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.rc
        ${CMAKE_SOURCE_DIR}/resources/*.h ${CMAKE_SOURCE_DIR}/resources/*.manifest
        ${CMAKE_SOURCE_DIR}/resources/*.ico)
    list(REMOVE_ITEM inputs ${CMAKE_SOURCE_DIR}/resources/vmboot.rc)
    set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/vmboot.rc PROPERTIES
        OBJECT_DEPENDS "${inputs}")
endfunction()
