# Writes the dictionary of the scene fuzz targets (cmake -P): a word for the
# keyword of every command of the list, then the hand-kept words.
#   -DLIST=src/interface/commands.def -DWORDS=fuzz/kx_words.dict -DOUT=kx.dict
file(STRINGS "${LIST}" commands REGEX "^KX_(COMMAND|SPECIAL) *\\(")
set(text "# Scene keywords, type strings, option names and number forms for the kx fuzz targets.\n\n# keywords\n")
foreach(command IN LISTS commands)
  string(REGEX REPLACE "^KX_[A-Z]+ *\\( *([A-Za-z]+).*$" "\\1" keyword "${command}")
  string(APPEND text "kw_${keyword}=\"${keyword}\"\n")
endforeach()
file(READ "${WORDS}" words)
string(APPEND text "\n${words}")
file(WRITE "${OUT}" "${text}")
