# SPDX-License-Identifier: MIT
# Writes OUTPUT, a C++ file defining SYMBOL as the text of INPUT.
file(READ ${INPUT} text)
string(FIND "${text}" ")tcr7750form\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\nextern const char ${SYMBOL}[];\nconst char ${SYMBOL}[] = R\"tcr7750form(${text})tcr7750form\";\n")
