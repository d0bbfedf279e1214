# lantern_add_test_bootstrapper(<target> <lantern_add_bootstrapper arguments>...)
# Every bootstrapper the end-to-end tests run is made here, so that what all
# of them need (such as a signature) is added in one place.
function(lantern_add_test_bootstrapper target)
  lantern_add_bootstrapper(${target} ${ARGN})
endfunction()
