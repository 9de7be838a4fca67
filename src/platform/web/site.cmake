# The site's generated files, run as `cmake -DSTEP=... -P site.cmake` by the web build.
#   STEP=icons   INDEX, OUT, FFMPEG: the app icons (OUT/icon-192.png, OUT/icon-512.png) made from
#                the start page's still, its middle square, without dates in the files.
#   STEP=worker  TEMPLATE, OUT: OUT/sw.js with its cache named after a hash of the site's files,
#                so that each release has its own cache.
cmake_minimum_required(VERSION 3.20)
if(STEP STREQUAL "icons")
  file(READ "${INDEX}" page)
  string(REGEX MATCH "data:image/webp;base64,([A-Za-z0-9+/=]+)" found "${page}")
  if(NOT found)
    message(FATAL_ERROR "${INDEX}: no still to make the icons from")
  endif()
  set(work "${OUT}/.icons")
  file(MAKE_DIRECTORY "${work}")
  file(WRITE "${work}/still.b64" "${CMAKE_MATCH_1}")
  execute_process(COMMAND base64 -d "${work}/still.b64" OUTPUT_FILE "${work}/still.webp"
                  RESULT_VARIABLE failed)
  foreach(size 192 512)
    if(NOT failed)
      execute_process(COMMAND "${FFMPEG}" -v error -y -i "${work}/still.webp"
                        -vf "crop=ih:ih,scale=${size}:${size}:flags=lanczos" -frames:v 1
                        -flags +bitexact -fflags +bitexact "${OUT}/icon-${size}.png"
                      RESULT_VARIABLE failed)
    endif()
  endforeach()
  file(REMOVE_RECURSE "${work}")
  if(failed)
    message(FATAL_ERROR "the icons could not be made from the still (${failed})")
  endif()
elseif(STEP STREQUAL "worker")
  set(files index.html page.js flimrevo.js flimrevo.wasm brumlevo.mp3 manifest.webmanifest
            icon-192.png icon-512.png)
  set(hashes "")
  foreach(name ${files})
    if(EXISTS "${OUT}/${name}")
      file(SHA256 "${OUT}/${name}" hash)
      string(APPEND hashes "${name} ${hash}\n")
    endif()
  endforeach()
  string(SHA256 all "${hashes}")
  string(SUBSTRING "${all}" 0 16 SITE_VERSION)
  configure_file("${TEMPLATE}" "${OUT}/sw.js" @ONLY)
else()
  message(FATAL_ERROR "site.cmake: STEP is icons or worker")
endif()
