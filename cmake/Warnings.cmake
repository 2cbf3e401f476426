# Warnings are on and kept at zero for our own targets.
function(thudra_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
