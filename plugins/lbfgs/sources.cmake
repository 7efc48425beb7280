# The two-loop L-BFGS direction: every optimiser plug-in compiles its own
# copy, so each keeps its own module-level memory.
set(lbfgs_sources ${CMAKE_CURRENT_LIST_DIR}/lbfgs_2loop.cpp)
