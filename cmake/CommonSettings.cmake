# A platform service is one header and one source file per platform,
# name_linux.cpp or name_windows.cpp; the lists name it with this.
if(WIN32)
    set(QALIX_PLATFORM windows)
else()
    set(QALIX_PLATFORM linux)
endif()

# The two libraries are shared on Linux and static on Windows: a DLL's
# classes would need export and import declarations throughout, and without
# them a signal's address taken outside the DLL is not the one its moc code
# compares, so connections by member pointer fail ("signal not found").
if(WIN32)
    set(QALIX_LIBRARY_TYPE STATIC)
else()
    set(QALIX_LIBRARY_TYPE SHARED)
endif()

# Compile settings shared by every target of the project.
add_library(qalix_settings INTERFACE)
target_compile_options(qalix_settings INTERFACE
    -Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual)
target_compile_definitions(qalix_settings INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(QALIX_WERROR)
    target_compile_options(qalix_settings INTERFACE -Werror)
endif()
if(QALIX_SANITIZE)
    target_compile_options(qalix_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(qalix_settings INTERFACE -fsanitize=address,undefined)
endif()
if(QALIX_FUZZ)
    # Coverage for the fuzzers reaches into the library as well.
    target_compile_options(qalix_settings INTERFACE -fsanitize=fuzzer-no-link)
endif()
