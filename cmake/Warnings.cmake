# Warnings are errors on the project's own targets only; third-party headers
# come in as system includes and are not held to them.
function(velpo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
