# Warnings as errors and sanitizer flags, applied to every kvx target.
if(MSVC)
    # 4251/4275: exported classes hold standard-library members and bases. kvx.dll and its
    # host are built with the same compiler and runtime, so these warnings do not apply.
    set(KVX_WARNING_FLAGS /W4 /WX /permissive- /utf-8 /Zc:__cplusplus /wd4251 /wd4275)
else()
    set(KVX_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        # GCC 12 at -O2 and above reports overlapping copies inside std::string's own code
        # (operator+ and replace on short strings) that cannot happen; GCC 13 no longer does.
        list(APPEND KVX_WARNING_FLAGS -Wno-restrict)
    endif()
endif()

if(KVX_SANITIZE)
    string(REPLACE ";" "," _kvx_san "${KVX_SANITIZE}")
    add_compile_options(-fsanitize=${_kvx_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_kvx_san})
endif()

set(KVX_PLATFORM_LIBS "")
if(WIN32)
    list(APPEND KVX_PLATFORM_LIBS user32 kernel32)
endif()

function(kvx_set_compile_options target)
    target_compile_options(${target} PRIVATE ${KVX_WARNING_FLAGS})
endfunction()
