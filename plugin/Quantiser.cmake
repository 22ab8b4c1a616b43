# The quantiser: extended-precision reference, vector paths chosen at load, per-instance step state.
ql_layer(ql_quantiser SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Quantiser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QuantiserFastSSE2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QuantiserFastAVX2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QuantiserFastAVX512.cpp
  DEPS ql_runtime)
