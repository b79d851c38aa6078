# sti_dll/sti.dll: the virtual scanners' Still Image service as a COM server
# with the system's entry point (src/platform/win32/sti_dll.cpp). Copied beside
# refirm.exe it stands in for the system's "sti.dll", so that an upgrade goes
# through the program's system Still Image path (scripts/windows_sti_dll.sh).
# It is built in a folder of its own: beside the build's refirm.exe it would
# take the system's place in every run.
add_library(refirm_sti SHARED ${CMAKE_SOURCE_DIR}/src/platform/win32/sti_dll.cpp)
target_link_libraries(refirm_sti PRIVATE refirm_core)
set_target_properties(refirm_sti PROPERTIES
    OUTPUT_NAME sti
    PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/sti_dll)
# The entry point under its plain name (not the 32-bit stdcall's "@16" one).
target_link_options(refirm_sti PRIVATE -Wl,--kill-at)
