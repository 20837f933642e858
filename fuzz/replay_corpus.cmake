# Runs a fuzz target once over every file of its committed corpus: a fault
# any of them once found must stay mended.
#   cmake -DTARGET=<binary> -DCORPUS=<folder> -P replay_corpus.cmake
file(GLOB inputs LIST_DIRECTORIES false ${CORPUS}/*)
list(LENGTH inputs count)
if(count EQUAL 0)
    message(FATAL_ERROR "no inputs in ${CORPUS}")
endif()
execute_process(COMMAND ${TARGET} ${inputs} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TARGET} failed on its corpus (${result})")
endif()
message(STATUS "${count} inputs replayed")
