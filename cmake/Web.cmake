# The browser build: the same sources compiled by emscripten to WebAssembly
# and WebGL2, with the platform services that differ taken from the web/
# folders beside the native ones. The libraries come from VELMORA_WEB_PREFIX
# (scripts/web-libs builds them from Debian's source packages).
set(VELMORA_WEB_PREFIX "" CACHE PATH "where the libraries built for the browser are installed")
if(NOT VELMORA_WEB_PREFIX)
  message(FATAL_ERROR "the browser build needs -DVELMORA_WEB_PREFIX=DIR (see scripts/web)")
endif()

file(GLOB_RECURSE VELMORA_WEB_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
# Replaced by their browser implementations, or modes a page has no use for
# (processes, video files, the content check).
foreach(native
    shell/ProcessEntry.cpp shell/ParallelCapture.cpp shell/ContentCheck.cpp
    platform/capture/VideoCapture.cpp platform/capture/SegmentJoin.cpp
    platform/font/FaceLookup.cpp platform/music/MusicPlayer.cpp platform/msgbox/MessageBox.cpp
    platform/watch/FileWatch.cpp)
  list(REMOVE_ITEM VELMORA_WEB_SOURCES ${CMAKE_SOURCE_DIR}/src/${native})
endforeach()

add_executable(velmora ${VELMORA_WEB_SOURCES})
set_target_properties(velmora PROPERTIES SUFFIX ".js")
target_include_directories(velmora PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_include_directories(velmora SYSTEM PRIVATE ${VELMORA_WEB_PREFIX}/include ${VELMORA_WEB_PREFIX}/include/SDL2
                           ${VELMORA_WEB_PREFIX}/include/freetype2 /usr/include/stb)
target_compile_options(velmora PRIVATE ${VELMORA_WARNINGS} -fexceptions
  -include ${CMAKE_SOURCE_DIR}/src/base/web/FloatFromChars.h)
target_compile_definitions(velmora PRIVATE VELMORA_VERSION="${PROJECT_VERSION}" VELMORA_INSTALLED_CONTENT="")
target_link_libraries(velmora PRIVATE
  ${VELMORA_WEB_PREFIX}/lib/libSDL2.a ${VELMORA_WEB_PREFIX}/lib/libfreetype.a
  ${VELMORA_WEB_PREFIX}/lib/libsquish.a ${VELMORA_WEB_PREFIX}/lib/libz.a)
# ASYNCIFY lets the demo's blocking loop yield to the browser where it waits
# (a frame, a file of the pack, the music's decoding) without being rewritten
# as callbacks.
target_link_options(velmora PRIVATE
  -fexceptions -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=134217728
  -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2 -sENVIRONMENT=web -sINVOKE_RUN=0 -sEXIT_RUNTIME=0
  -sFORCE_FILESYSTEM=1 -sTOTAL_STACK=1048576
  "-sEXPORTED_RUNTIME_METHODS=['callMain','FS','UTF8ToString','allocateUTF8']"
  # SDL's audio code calls these library functions without declaring them;
  # a response file keeps the shell from reading their $ names.
  "@${CMAKE_BINARY_DIR}/library-functions.rsp")
file(WRITE ${CMAKE_BINARY_DIR}/library-functions.rsp
  "-sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=['$autoResumeAudioContext','$dynCall']\n")
