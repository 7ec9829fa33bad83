# orv_c_program_runs(<result-var> <reason-var> [flags...])
# Builds a trivial C program with the given compile and link flags and runs it. <result-var> is set
# to TRUE only when it built and ran with exit code 0; otherwise <reason-var> says why ("cannot be
# built with ..." or "is built but cannot run here: ..."), for a skipped test to print. The result is
# cached per flag set, like CMake's own checks.
function(orv_c_program_runs result_var reason_var)
    string(MAKE_C_IDENTIFIER "ORV_RUNS_${ARGN}" key)
    if(NOT DEFINED ${key})
        set(dir "${CMAKE_BINARY_DIR}/CMakeFiles/orv_program_runs/${key}")
        file(MAKE_DIRECTORY "${dir}")
        file(WRITE "${dir}/runs.c" "int main(void) { return 0; }\n")
        set(flags ${ARGN})
        try_run(${key}_RUN ${key}_COMPILE "${dir}" "${dir}/runs.c"
                COMPILE_DEFINITIONS ${flags} LINK_OPTIONS ${flags}
                COMPILE_OUTPUT_VARIABLE compile_out RUN_OUTPUT_VARIABLE run_out)
        string(REPLACE ";" " " shown "${flags}")
        if(NOT ${key}_COMPILE)
            set(reason "a C program cannot be built with '${shown}'")
            set(ok FALSE)
        elseif(NOT "${${key}_RUN}" STREQUAL "0")
            # The shell names the program by its throw-away path; the reason keeps only what went wrong.
            string(REGEX REPLACE "[^ ]*/cmTC_[0-9a-f]+:( [0-9]+:)? *" "" run_out "${run_out}")
            string(STRIP "exit ${${key}_RUN}: ${run_out}" why)
            set(reason "a C program built with '${shown}' cannot run on this machine (${why})")
            set(ok FALSE)
        else()
            set(reason "")
            set(ok TRUE)
        endif()
        set(${key} ${ok} CACHE INTERNAL "a program built with ${shown} runs")
        set(${key}_REASON "${reason}" CACHE INTERNAL "why not")
    endif()
    set(${result_var} ${${key}} PARENT_SCOPE)
    set(${reason_var} "${${key}_REASON}" PARENT_SCOPE)
endfunction()
