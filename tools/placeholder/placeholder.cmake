# Writes a placeholder for one package entry (cmake -P), the same bytes on every run:
#   -DOUT=file -DNAME=entry-name [-DTEMPLATE=placeholder.exe|.dll] -DBITS=32|64
# With TEMPLATE, the placeholder program is copied and its name appended after the
# image (a PE file ignores what follows its sections), so no two entries are alike.
# Without, a text stands in for a data file (setup information, catalog, driver
# binary, icon, licence), sized by its kind.
if(TEMPLATE)
  file(COPY_FILE "${TEMPLATE}" "${OUT}.new")
  file(APPEND "${OUT}.new" "\nQuorvane package placeholder: ${NAME}\n")
else()
  string(REGEX MATCH "[^.]*$" ext "${NAME}")
  string(TOLOWER "${ext}" ext)
  set(text "Quorvane package placeholder: ${NAME} (${BITS}-bit)\r\n")
  if(ext STREQUAL "inf")
    string(APPEND text "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=MEDIA\r\n"
      "Provider=%Halcyra%\r\n\r\n[Strings]\r\nHalcyra=\"Halcyra\"\r\n")
    set(lines 4)
  elseif(ext STREQUAL "sys")
    set(lines 160)
  elseif(ext STREQUAL "cat")
    set(lines 40)
  else()
    set(lines 8)
  endif()
  string(LENGTH "${NAME}" len)
  foreach(i RANGE 1 ${lines})
    # A little variety per line, so that the bytes are not one repeated pattern.
    math(EXPR v "(${i} * 2654435761 + ${len} * 40503) % 1000000007")
    string(APPEND text "; ${NAME} line ${i} ${v}\r\n")
  endforeach()
  file(WRITE "${OUT}.new" "${text}")
endif()
file(RENAME "${OUT}.new" "${OUT}")
