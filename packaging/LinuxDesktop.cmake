# The Linux desktop's files: the reader's menu entry, the story file type, icons, man
# pages and qsd's shell completion. Man pages and completion are written at build time
# from the help texts (help2man; see linux/qsd-docs.sh), the story format's page from
# the README (linux/story-page.sh).
find_program(QUILLSHADE_HELP2MAN help2man DOC "help2man, which writes qsd's man page from qsd --help")
find_program(QUILLSHADE_GZIP gzip REQUIRED)
if(QUILLSHADE_HELP2MAN)
  set(docs_default ON)
else()
  set(docs_default OFF)
endif()
option(QUILLSHADE_BUILD_DOCS "Build the man pages and qsd's bash completion (needs help2man)" ${docs_default})

set(linux ${CMAKE_CURRENT_SOURCE_DIR}/linux)
set(generated ${CMAKE_CURRENT_BINARY_DIR}/linux)

if(TARGET quillshade)
  install(FILES ${linux}/quillshade.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${linux}/quillshade.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages)
  foreach(size 16 32 48)
    install(FILES ${linux}/icons/quillshade-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps RENAME quillshade.png)
  endforeach()
  install(FILES ${linux}/icons/quillshade.svg DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
endif()

# The editors' story colours. Vim and Neovim load the Vim files as a package that starts
# with them (links from their package paths); Emacs finds the mode on its load-path,
# which takes in site-lisp's folders: (require 'quillshade-story).
set(editors_dir ${CMAKE_INSTALL_DATAROOTDIR}/quillshade/editors)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/editors/vim DESTINATION ${editors_dir})
file(MAKE_DIRECTORY ${generated})
file(CREATE_LINK ../../../../../quillshade/editors/vim ${generated}/vim-package SYMBOLIC)
foreach(package_path vim/vimfiles nvim/site)
  install(FILES ${generated}/vim-package
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/${package_path}/pack/dist-bundle/start RENAME quillshade)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/editors/emacs/quillshade-story.el
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/emacs/site-lisp/quillshade)

# Debian wants the changelog and man pages compressed, without a time stamp inside (-n).
configure_file(${linux}/changelog.in ${generated}/changelog @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.gz
  COMMAND ${QUILLSHADE_GZIP} -9n < ${generated}/changelog > ${generated}/changelog.gz
  DEPENDS ${generated}/changelog VERBATIM)
set(docs ${generated}/changelog.gz)
install(FILES ${generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillshade)

# quillshade-story(5), the story format, from the README's story guide: one source for both.
add_custom_command(OUTPUT ${generated}/quillshade-story.5.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
  COMMAND sh ${linux}/story-page.sh ${PROJECT_SOURCE_DIR}/README.md ${generated}/quillshade-story.5 ${PROJECT_VERSION}
  COMMAND ${QUILLSHADE_GZIP} -9nf ${generated}/quillshade-story.5
  DEPENDS ${linux}/story-page.sh ${PROJECT_SOURCE_DIR}/README.md VERBATIM)
list(APPEND docs ${generated}/quillshade-story.5.gz)
install(FILES ${generated}/quillshade-story.5.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)

if(QUILLSHADE_BUILD_DOCS)
  if(NOT QUILLSHADE_HELP2MAN)
    message(FATAL_ERROR "QUILLSHADE_BUILD_DOCS needs help2man: apt-get install help2man")
  endif()
  if(TARGET quillshade)
    add_custom_command(OUTPUT ${generated}/quillshade.1.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
      COMMAND ${QUILLSHADE_GZIP} -9n < ${linux}/quillshade.1 > ${generated}/quillshade.1.gz
      DEPENDS ${linux}/quillshade.1 VERBATIM)
    list(APPEND docs ${generated}/quillshade.1.gz)
    install(FILES ${generated}/quillshade.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  if(TARGET qsd)
    add_custom_command(OUTPUT ${generated}/qsd.1.gz ${generated}/qsd
      COMMAND sh ${linux}/qsd-docs.sh $<TARGET_FILE:qsd> ${generated}
      DEPENDS qsd ${linux}/qsd-docs.sh VERBATIM)
    list(APPEND docs ${generated}/qsd.1.gz ${generated}/qsd)
    install(FILES ${generated}/qsd.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${generated}/qsd DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
  endif()
endif()
add_custom_target(quillshade_docs ALL DEPENDS ${docs})
