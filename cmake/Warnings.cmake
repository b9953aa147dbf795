# Our own targets get the strict warnings; third-party headers come in as
# system includes and stay quiet.
add_library(tallisyn_warnings INTERFACE)
target_compile_options(tallisyn_warnings INTERFACE -Wall -Wextra -Wpedantic)
