# Script mode (cmake -P): copies web/, site/ and the bridge scripts into
# SHARE_DIR and adds the vendored graph library from NPM_DIR. Only the file types the server has a
# content type for are shipped (.html, .js, .css, .svg); files that left the
# source tree are removed from the copy so it never serves stale scripts.
cmake_minimum_required(VERSION 3.25)

function(mirror from to)
  file(GLOB_RECURSE wanted RELATIVE ${from} ${ARGN})
  if(EXISTS ${to})
    file(GLOB_RECURSE present RELATIVE ${to} ${to}/*)
    foreach(name IN LISTS present)
      if(NOT name IN_LIST wanted AND NOT name MATCHES "^vendor/")
        file(REMOVE ${to}/${name})
      endif()
    endforeach()
  endif()
  foreach(name IN LISTS wanted)
    get_filename_component(dir ${name} DIRECTORY)
    file(COPY ${from}/${name} DESTINATION ${to}/${dir})
  endforeach()
endfunction()

foreach(tree web site)
  set(from ${SOURCE_DIR}/${tree})
  mirror(${from} ${SHARE_DIR}/${tree} ${from}/*.html ${from}/*.js ${from}/*.css ${from}/*.svg)
endforeach()
# The bridge scripts (Python packages and the shell benchmarks), so that the
# program in the build tree runs them from wherever it is started.
mirror(${SOURCE_DIR}/scripts ${SHARE_DIR}/scripts ${SOURCE_DIR}/scripts/*.py ${SOURCE_DIR}/scripts/*.sh)

# The ES module build of cytoscape, renamed to .js (the server serves only .js
# as JavaScript, and browsers refuse module scripts of other types), with its
# licence kept at the top as a comment.
set(vendor ${SHARE_DIR}/web/vendor/cytoscape.esm.js)
set(library ${NPM_DIR}/node_modules/cytoscape/dist/cytoscape.esm.min.mjs)
if(NOT EXISTS ${vendor} OR ${library} IS_NEWER_THAN ${vendor})
  file(READ ${NPM_DIR}/node_modules/cytoscape/LICENSE licence)
  file(READ ${library} code)
  string(REPLACE "*/" "* /" licence "${licence}")
  file(WRITE ${vendor} "/*\n${licence}*/\n${code}")
endif()
