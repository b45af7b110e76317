# The installed data tree, assembled in the build directory: the console's
# web root (the files of web/ plus the graph libraries from npm) and the
# website, in build/share/halvex beside the executable. The program finds that
# tree from the build directory just as an installed copy finds
# PREFIX/share/halvex, and `cmake --install` copies it from here, so the npm
# packages live only in the build directory and never in the checkout.
#
# npm ci runs only when package.json or package-lock.json change; copying the
# files runs on every build and is cheap.
find_program(ORVANE_NPM npm)
if(NOT ORVANE_NPM)
  message(FATAL_ERROR "npm not found: run scripts/install-deps.sh")
endif()

set(ORVANE_NPM_DIR ${CMAKE_BINARY_DIR}/npm)
set(ORVANE_NPM_STAMP ${ORVANE_NPM_DIR}/node_modules/.package-lock.json)
set(ORVANE_SHARE_DIR ${CMAKE_BINARY_DIR}/share/halvex)
file(MAKE_DIRECTORY ${ORVANE_NPM_DIR})

add_custom_command(
  OUTPUT ${ORVANE_NPM_STAMP}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/package.json ${PROJECT_SOURCE_DIR}/package-lock.json
          ${ORVANE_NPM_DIR}
  COMMAND ${ORVANE_NPM} ci --no-audit --no-fund --ignore-scripts --loglevel=error
  COMMAND ${CMAKE_COMMAND} -E touch ${ORVANE_NPM_STAMP}
  WORKING_DIRECTORY ${ORVANE_NPM_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/package.json ${PROJECT_SOURCE_DIR}/package-lock.json
  COMMENT "Installing the npm packages of the console and its browser tests"
  VERBATIM)

# The graph view's libraries (graphology, sigma, ForceAtlas2 for the layout
# worker) come from several npm packages each: the pinned esbuild bundles
# each entry of web/vendor/*.mjs into one ES module of the web root's
# vendor/, which the copy of web/ leaves alone. esbuild finds the packages
# through NODE_PATH, since the entries live in the checkout and the packages
# in the build directory.
find_program(ORVANE_NODE node)
if(NOT ORVANE_NODE)
  message(FATAL_ERROR "node not found: run scripts/install-deps.sh")
endif()
set(ORVANE_BUNDLES)
foreach(entry graph_engine forceatlas2)
  set(bundle ${ORVANE_SHARE_DIR}/web/vendor/${entry}.js)
  add_custom_command(
    OUTPUT ${bundle}
    COMMAND ${CMAKE_COMMAND} -E env NODE_PATH=${ORVANE_NPM_DIR}/node_modules
            ${ORVANE_NODE} ${ORVANE_NPM_DIR}/node_modules/esbuild/bin/esbuild
            ${PROJECT_SOURCE_DIR}/web/vendor/${entry}.mjs --bundle --format=esm --minify
            --legal-comments=inline --log-level=warning --outfile=${bundle}
    DEPENDS ${PROJECT_SOURCE_DIR}/web/vendor/${entry}.mjs ${ORVANE_NPM_STAMP}
    COMMENT "Bundling the console's ${entry}.js with esbuild"
    VERBATIM)
  list(APPEND ORVANE_BUNDLES ${bundle})
endforeach()

add_custom_target(orvane_share ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DNPM_DIR=${ORVANE_NPM_DIR}
          -DSHARE_DIR=${ORVANE_SHARE_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/assemble_share.cmake
  DEPENDS ${ORVANE_NPM_STAMP} ${ORVANE_BUNDLES}
  COMMENT "Assembling the console web root and the website"
  VERBATIM)
