# cmt_target_defaults(target): C++20, warnings on, and the sanitizer chosen by CMT_SANITIZE.
# Every library, program and test of the project goes through it.
function(cmt_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CMT_SANITIZE STREQUAL "address")
    target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  elseif(CMT_SANITIZE STREQUAL "thread")
    target_compile_options(${target} PUBLIC -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=thread)
  endif()
  if(CMT_FUZZ)
    # Coverage for libFuzzer in every library, so that the fuzzers see into the code they test.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()
