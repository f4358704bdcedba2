# Compiler settings shared by every target of ours (not by third-party code).
function(varnet_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(VARNET_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC 12 at -O3 reports overlapping copies inside std::string concatenation that cannot
  # happen (its bug 105329); the warning says nothing of our code there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(VARNET_SANITIZE)
    # The library's own bounds checks too: AddressSanitizer misses a read past a string's end
    # that stays inside its allocation.
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined -D_GLIBCXX_ASSERTIONS)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
