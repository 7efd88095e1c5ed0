# Makes the one-file reader page: the page template with the compiled reader, its
# scripts and its icon written into it. Run with -DTEMPLATE= -DMODULE= -DKEY_MAP=
# -DREADER= -DDECOY= -DICON= -DOUTPUT=.
cmake_minimum_required(VERSION 3.25)
file(READ ${TEMPLATE} page)
foreach(part DECOY MODULE KEY_MAP READER)
  file(READ ${${part}} script)
  # A script may not end its own element or open a comment that hides the next one.
  string(TOLOWER "${script}" lower)
  string(FIND "${lower}" "</script" ends)
  string(FIND "${lower}" "<!--" comments)
  if(NOT ends EQUAL -1 OR NOT comments EQUAL -1)
    message(FATAL_ERROR "${${part}} cannot be put inside a <script> element")
  endif()
  string(REPLACE "/*@${part}@*/" "${script}" page "${page}")
endforeach()
# The icon as a data address: each byte as %XX.
file(READ ${ICON} hex HEX)
string(REGEX REPLACE "(..)" "%\\1" icon "${hex}")
string(REPLACE "@ICON@" "${icon}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
