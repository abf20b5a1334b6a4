# Writes a C++ source that holds a text file as one string: cmake -DIN=file -DOUT=file.cpp
# -DNAME=symbol -DNAMESPACE=ns -P EmbedText.cmake
file(READ "${IN}" text)
string(FIND "${text}" ")LUMEO_TEXT\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} holds the end marker of the raw string")
endif()
file(WRITE "${OUT}.tmp" "// Generated from ${IN} by EmbedText.cmake.\nnamespace ${NAMESPACE} {\nextern const char ${NAME}[];\nconst char ${NAME}[] = R\"LUMEO_TEXT(${text})LUMEO_TEXT\";\n}\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
